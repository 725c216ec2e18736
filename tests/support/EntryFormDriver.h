#pragma once

// Drives one of the address book's maintenance windows as the operator does: shows it, clicks
// its buttons (only enabled ones) and reads which of its two states it is in.

#include "book/EntryForm.h"

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

inline void selectRow(EntryForm &form, int row)
{
    form.DBGrid1->setCurrentIndex(form.DBGrid1->model()->index(row, 0));
}

// List and "Nuovo", "Modifica", "Elimina" usable; fields, "Scrivi" and "Cancella" not.
inline bool inBrowseState(const EntryForm &form)
{
    return form.BitBtn1->isEnabled() && form.BitBtn2->isEnabled() && form.BitBtn3->isEnabled()
        && !form.BitBtn4->isEnabled() && !form.BitBtn5->isEnabled() && !form.GroupBox1->isEnabled()
        && form.DBGrid1->isEnabled();
}

inline bool inEntryState(const EntryForm &form)
{
    return !form.BitBtn1->isEnabled() && !form.BitBtn2->isEnabled() && !form.BitBtn3->isEnabled()
        && form.BitBtn4->isEnabled() && form.BitBtn5->isEnabled() && form.GroupBox1->isEnabled()
        && !form.DBGrid1->isEnabled();
}

} // namespace EntryFormDriver
