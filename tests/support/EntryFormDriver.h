#pragma once

// Drives one of the address book's maintenance windows as the operator does: shows it, clicks
// its buttons (only enabled ones) and reads which of its two states it is in. The window's
// controls are found by their designer names (tests/support/Controls.h).

#include "book/EntryForm.h"
#include "tests/support/Controls.h"

#include <QGroupBox>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

namespace EntryFormDriver {

inline void showWindow(QWidget *window)
{
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

inline void click(QPushButton *button)
{
    QVERIFY2(button->isEnabled(), qPrintable(button->text()));
    QTest::mouseClick(button, Qt::LeftButton);
}

// Clicks the window's button of the given name, e.g. click(form, "BitBtn1") for "Nuovo".
inline void click(const QWidget &window, const char *button)
{
    click(control<QPushButton>(window, button));
}

inline QTableView *list(const EntryForm &form)
{
    return control<QTableView>(form, "DBGrid1");
}

inline void selectRow(EntryForm &form, int row)
{
    QTableView *grid = list(form);
    grid->setCurrentIndex(grid->model()->index(row, 0));
}

inline bool enabled(const EntryForm &form, const char *button)
{
    return control<QPushButton>(form, button)->isEnabled();
}

// List and "Nuovo", "Modifica", "Elimina" usable; fields, "Scrivi" and "Cancella" not.
inline bool inBrowseState(const EntryForm &form)
{
    return enabled(form, "BitBtn1") && enabled(form, "BitBtn2") && enabled(form, "BitBtn3") && !enabled(form, "BitBtn4")
        && !enabled(form, "BitBtn5") && !control<QGroupBox>(form, "GroupBox1")->isEnabled() && list(form)->isEnabled();
}

inline bool inEntryState(const EntryForm &form)
{
    return !enabled(form, "BitBtn1") && !enabled(form, "BitBtn2") && !enabled(form, "BitBtn3")
        && enabled(form, "BitBtn4") && enabled(form, "BitBtn5") && control<QGroupBox>(form, "GroupBox1")->isEnabled()
        && !list(form)->isEnabled();
}

} // namespace EntryFormDriver
