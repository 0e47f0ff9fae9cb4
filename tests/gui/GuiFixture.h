#pragma once

// A window on a fresh application directory, its dialogs answered by the test, its clock and
// random source fixed; helpers to type into fields, leave them and read what was stored.

#include <gtest/gtest.h>

#include <QMenu>
#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "ScriptedDialogs.h"
#include "common/TempDir.h"
#include "gui/TfrmMain.h"
#include "support/AppPaths.h"
#include "support/Clock.h"
#include "support/Random.h"
#include "support/SettingsStore.h"
#include "support/Text.h"

class QLineEdit;
class QPlainTextEdit;

namespace corvanteer::testing {

// Holds a worker thread at a point until the test lets it go.
class Gate {
public:
    void Wait();     // on the worker: marks the gate reached, then waits for Release
    void Release();  // on the test's thread
    bool Reached();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool reached_ = false;
    bool released_ = false;
};

class GuiTest : public ::testing::Test {
protected:
    GuiTest();
    ~GuiTest() override;

    // Creates the window (ending one that is open).
    TfrmMain& Open();
    // Destroys the window as the end of the program does.
    void Close();

    // The open window's control of that object name, as the operator knows it; a missing
    // control ends the test.
    template <class T>
    T* Find(const char* name) const {
        T* control = window ? window->findChild<T*>(QString::fromLatin1(name)) : nullptr;
        if (control == nullptr) {
            throw std::runtime_error(std::string("no control named ") + name);
        }
        return control;
    }
    // An item of the tray menu (also the window's context menu).
    QAction* Action(const char* name) const;

    // Types the text into a field (replacing its content) without leaving it.
    static void Type(QLineEdit* edit, const QString& text);
    static void Type(QPlainTextEdit* memo, const QString& text);
    // The field loses the input focus.
    static void Leave(QWidget* widget);

    std::string Key() const { return paths.SettingsKey(); }
    std::string ListKey(const std::string& list) const { return paths.ListKey(list); }
    Lines Section(const std::string& list, const std::string& section) const;
    Lines LogLines() const;

    // What the fixed clock gives: LogStamp and the short date (LC_ALL=C).
    static constexpr const char* kStamp = "Mon,09Mar26 14:05:00 ";
    static constexpr const char* kShortDate = "03/09/26";

    TempDir dir;
    AppPaths paths;
    std::unique_ptr<SettingsStore> store;
    ScriptedDialogs dialogs;
    FakeClock clock;
    FakeRandom random;
    std::unique_ptr<TfrmMain> window;
};

}  // namespace corvanteer::testing
