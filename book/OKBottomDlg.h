#pragma once

// The note dialog: a heading that names what went wrong with a pager code, and a fixed note
// on the code's format. Callers set the shared note text and then show it modally.

#include <QDialog>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
struct CapcodeNote;

class TOKBottomDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TOKBottomDlg(CapcodeNote &note, QWidget *parent = nullptr);

    // The heading for a note text: the text and the instruction, or two blanks for none.
    static QString headingFor(const QString &noteText);

    void FormShow();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QFrame *Bevel1 = nullptr;
    QLabel *Label1 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *OKBtn = nullptr;

    CapcodeNote &m_note;
};
