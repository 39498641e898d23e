#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>

#include <memory>

class QTabWidget;

namespace Ui {
class SettingPage1Form;
class SettingPage2Form;
class SettingPage3Form;
}  // namespace Ui

// A page of the options sheet. It loads its values from the store the first time it is shown
// and stores all of them when the sheet ends with OK; a page never shown stores nothing, so a
// confirm cannot overwrite values the user never saw.
class SettingPage : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

    // Loads the values the first time; later calls do nothing.
    void Activate();
    bool WasShown() const { return shown; }
    // Whether every value can be stored as it stands; a page that says no has told the user why.
    virtual bool CheckValues() { return true; }
    virtual void StoreValues() = 0;

protected:
    virtual void LoadValues() = 0;

private:
    bool shown = false;
};

// "操作": the connect dialog at start-up, automatic transfer mode and its extension list, the
// overwrite question, keeping modification times, checking transfers against the server's digest,
// how many connections a batch may use at once.
class CSettingPage1 : public SettingPage {
    Q_OBJECT

public:
    explicit CSettingPage1(QWidget* parent = nullptr);
    ~CSettingPage1() override;
    void StoreValues() override;

protected:
    void LoadValues() override;

private:
    std::unique_ptr<Ui::SettingPage1Form> ui;
};

// "DialUp": automatic dial-up, the entry to dial and the time-out.
class CSettingPage2 : public SettingPage {
    Q_OBJECT

public:
    explicit CSettingPage2(QWidget* parent = nullptr);
    ~CSettingPage2() override;
    bool CheckValues() override;
    void StoreValues() override;

protected:
    void LoadValues() override;

private:
    std::unique_ptr<Ui::SettingPage2Form> ui;
    // False when the list holds only a message line instead of entries.
    bool listsEntries = false;
    // The stored entry name, kept when there are no entries to choose from or none is chosen.
    QString storedDialUpName;
    // The entry chosen in the list; the stored name when nothing is chosen.
    QString ChosenDialUpName() const;
};

// "FTP拡張": passive mode (and the LIST box, which cannot be changed).
class CSettingPage3 : public SettingPage {
    Q_OBJECT

public:
    explicit CSettingPage3(QWidget* parent = nullptr);
    ~CSettingPage3() override;
    void StoreValues() override;

protected:
    void LoadValues() override;

private:
    std::unique_ptr<Ui::SettingPage3Form> ui;
};

// The tabbed options window, opening on its first page. Built for one showing: construct it,
// Run it, and when that gives OK the shown pages have written the store. Applying a changed
// setting to the main window (the transfer-mode buttons) is the caller's.
class OptionsSheet : public QDialog {
    Q_OBJECT

public:
    explicit OptionsSheet(QWidget* parent = nullptr);
    ~OptionsSheet() override;

    // Runs the sheet modally through the prompter; true when it ended with OK.
    bool Run();
    QTabWidget* Tabs() const { return tabs; }

    void accept() override;

private:
    QTabWidget* tabs;
};
