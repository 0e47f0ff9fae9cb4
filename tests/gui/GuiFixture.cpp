#include "GuiFixture.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>

#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {

void Gate::Wait() {
    std::unique_lock lock(mutex_);
    reached_ = true;
    cv_.wait(lock, [this] { return released_; });
}

void Gate::Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    cv_.notify_all();
}

bool Gate::Reached() {
    std::lock_guard lock(mutex_);
    return reached_;
}

GuiTest::GuiTest()
    : paths(AppPaths::ForDirectory(dir.Path())),
      store(SettingsStore::Open(paths.SettingsDatabase())) {
    clock.Set(2026, 3, 9, 14, 5, 0);
}

GuiTest::~GuiTest() {
    window.reset();
    EXPECT_TRUE(dialogs.AllAnswered()) << "a queued dialog answer was not used";
}

TfrmMain& GuiTest::Open() {
    window.reset();
    WindowSetup setup;
    setup.paths = paths;
    setup.store = store.get();
    setup.dialogs = &dialogs;
    setup.helpFile = dir.File("help/index.html");
    setup.useTray = false;
    setup.executable = "/usr/bin/corvanteer";
    setup.clock = &clock;
    setup.random = &random;
    window = std::make_unique<TfrmMain>(setup);
    return *window;
}

void GuiTest::Close() {
    window.reset();
}

QAction* GuiTest::Action(const char* name) const {
    QAction* action =
        window ? window->TrayMenu()->findChild<QAction*>(QString::fromLatin1(name)) : nullptr;
    if (action == nullptr) {
        throw std::runtime_error(std::string("no menu item named ") + name);
    }
    return action;
}

void GuiTest::Type(QLineEdit* edit, const QString& text) {
    edit->clear();
    QTest::keyClicks(edit, text);
}

void GuiTest::Type(QPlainTextEdit* memo, const QString& text) {
    memo->clear();
    QTest::keyClicks(memo, text);
}

void GuiTest::Leave(QWidget* widget) {
    QFocusEvent event(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(widget, &event);
}

Lines GuiTest::Section(const std::string& list, const std::string& section) const {
    return TextToLines(ReadSection(paths.ListDataFile(list), section));
}

Lines GuiTest::LogLines() const {
    auto text = ReadFileIfExists(paths.LogFile());
    return text ? TextToLines(*text) : Lines{};
}

}  // namespace corvanteer::testing
