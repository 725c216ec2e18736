#pragma once

// The about box: product name, version and maker, with the maker's web and mail addresses as
// links handed to the desktop.

#include <QDialog>
#include <QUrl>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;

class TAboutBox : public QDialog
{
    Q_OBJECT

public:
    using UrlOpener = std::function<bool(const QUrl &)>;

    explicit TAboutBox(QWidget *parent = nullptr);

    // The two link targets as stored, trailing blanks included.
    static const QString kWebAddress;
    static const QString kMailAddress;

    // Replaces the desktop's opener (tests record the address instead).
    void setUrlOpener(UrlOpener opener) { m_open = std::move(opener); }

    void lblUrlClick();
    void lblEmailClick();
    void lblUrlMouseEnter(QLabel *sender);
    void lblUrlMouseLeave(QLabel *sender);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QFrame *Panel1 = nullptr;
    QLabel *ProductName = nullptr;
    QLabel *Version = nullptr;
    QLabel *Copyright = nullptr;
    QLabel *lblUrl = nullptr;
    QLabel *lblEmail = nullptr;
    QPushButton *OKButton = nullptr;

    UrlOpener m_open;
};
