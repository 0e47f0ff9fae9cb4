// A page's table of fields: every kind of control shows a setting's text and gives the same
// text back, and a row naming a setting its table lacks is refused when the page binds it.

#include "gui/pages/SettingFields.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QWidget>
#include <functional>
#include <stdexcept>

#include "gui/pages/PageHost.h"
#include "gui/pages/PendingEdits.h"
#include "support/Status.h"

namespace corvanteer::testing {
namespace {

struct ShowCase {
    const char* control;
    std::function<QObject*(QWidget* page)> make;
    SettingType type;
    std::string shown;     // what the store gives
    std::string readBack;  // what the control then gives back
};

QButtonGroup* ThreeRadios(QWidget* page) {
    auto* group = new QButtonGroup(page);
    for (int id = 0; id < 3; ++id) {
        group->addButton(new QRadioButton(page), id);
    }
    return group;
}

QComboBox* SecurityCombo(QWidget* page) {
    auto* combo = new QComboBox(page);
    combo->addItems({"None", "STARTTLS", "TLS"});
    return combo;
}

TEST(SettingFieldsTest, EachControlGivesBackTheTextItShows) {
    const std::vector<ShowCase> cases = {
        {"line edit", [](QWidget* p) { return new QLineEdit(p); }, SettingType::String,
         "mail.example.org", "mail.example.org"},
        {"password edit", [](QWidget* p) { return new QLineEdit(p); }, SettingType::Password,
         "s3cret", "s3cret"},
        {"memo", [](QWidget* p) { return new QPlainTextEdit(p); }, SettingType::String,
         "a@x.y\r\nb@x.y", "a@x.y\r\nb@x.y"},
        {"memo, final line break", [](QWidget* p) { return new QPlainTextEdit(p); },
         SettingType::String, "a@x.y\r\n", "a@x.y"},
        {"check box on", [](QWidget* p) { return new QCheckBox(p); }, SettingType::Boolean, "1",
         "1"},
        {"check box off", [](QWidget* p) { return new QCheckBox(p); }, SettingType::Boolean, "0",
         "0"},
        {"spin box",
         [](QWidget* p) {
             auto* spin = new QSpinBox(p);
             spin->setRange(0, 65535);
             return spin;
         },
         SettingType::Integer, "2525", "2525"},
        {"spin box, out of range", [](QWidget* p) { return new QSpinBox(p); }, SettingType::Integer,
         "500", "99"},
        {"radio group", ThreeRadios, SettingType::Integer, "2", "2"},
        {"radio group, no such button", ThreeRadios, SettingType::Integer, "7", "-1"},
        {"combo box by index", SecurityCombo, SettingType::Integer, "1", "1"},
        {"combo box by text", SecurityCombo, SettingType::String, "TLS", "TLS"},
    };
    for (const ShowCase& c : cases) {
        QWidget page;
        QObject* control = c.make(&page);
        ShowControlText(control, c.type, c.shown);
        EXPECT_EQ(ControlText(control, c.type), c.readBack) << c.control;
    }
}

TEST(SettingFieldsTest, ControlsWithoutATextAreRefused) {
    QWidget page;
    EXPECT_THROW(ControlText(&page, SettingType::String), Failure);
    EXPECT_THROW(ShowControlText(&page, SettingType::String, "x"), Failure);
}

// Binding must fail on the names alone, before it asks the window for anything.
class NoHost final : public PageHost {
public:
    Services& EngineServices() override { throw std::logic_error("host used"); }
    HttpClient& Http() override { throw std::logic_error("host used"); }
    Dialogs& WindowDialogs() override { throw std::logic_error("host used"); }
    PendingEdits& Edits() override { throw std::logic_error("host used"); }
    const std::string& CurrentList() const override { throw std::logic_error("host used"); }
    void Guarded(const std::function<void()>&) override { throw std::logic_error("host used"); }
    void RefreshConsole() override { throw std::logic_error("host used"); }
    void ShowStatus(const QString&) override { throw std::logic_error("host used"); }
};

TEST(SettingFieldsTest, AMisspeltOrMisplacedRowIsRefusedWhenBound) {
    NoHost host;
    QLineEdit edit;
    QPlainTextEdit memo;
    SettingFields list(host, SettingScope::List);
    EXPECT_THROW(list.Bind({Setting(&edit, "Pop3Hots")}), Failure);
    SettingFields global(host, SettingScope::Global);
    EXPECT_THROW(global.Bind({Setting(&edit, "Pop3Host")}), Failure);  // a list setting
    EXPECT_THROW(global.Bind({Section(&memo, "Signature")}), Failure);
}

}  // namespace
}  // namespace corvanteer::testing
