#pragma once

// A page's table of fields: each row pairs one control with the value it shows, a setting of
// the store or a section of the list's data file. Loading and storing both walk the rows, so
// a control's link to its value is written once, in its row:
//
//     fields_.Bind({
//         Setting(chkModerateList, "ModerateList"),
//         Section(memoSignature, "Signature"),
//     });
//
// Each control stores its value the moment the operator is done with it:
//   QLineEdit       when left (or, edited but not left, when the window commits pending edits)
//   QPlainTextEdit  as QLineEdit; the lines joined by CR LF for a setting
//   QCheckBox       when clicked: "1" or "0"
//   QSpinBox        when its value changes
//   QButtonGroup    when a button is clicked: the button's id
//   QComboBox       when an item is chosen: its index for Integer settings, its text otherwise
//                   (shown by the item of that text in any case)
// A page that reacts to a click connects its own handler after Bind; Qt calls it after the
// value has been stored.

#include <QObject>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/SettingTables.h"

class QPlainTextEdit;

namespace corvanteer {

class PageHost;

// Which settings a table's rows name, and where they are stored: the global settings, or the
// settings and data file of the list the window shows.
enum class SettingScope { Global, List };

// When a row's control stores its value.
enum class StoreWhen {
    Done,         // as listed above for its kind of control
    EveryChange,  // a QPlainTextEdit: also at every change of its text
    PageAsks,     // only when the page calls Store (it has work to do first)
};

struct FieldRow {
    QObject* control = nullptr;
    std::string name;      // the setting's name, or the section's
    bool section = false;  // a section of the list's data file (List scope only)
    StoreWhen when = StoreWhen::Done;
};

inline FieldRow Setting(QObject* control, std::string name, StoreWhen when = StoreWhen::Done) {
    return {control, std::move(name), false, when};
}
FieldRow Section(QPlainTextEdit* memo, std::string name);

// A control's value as setting text, and the reverse (for the control kinds listed above).
std::string ControlText(const QObject* control, SettingType type);
void ShowControlText(QObject* control, SettingType type, const std::string& text);

class SettingFields {
public:
    // The host must outlive the table. While the host's edits are filling, nothing the bound
    // controls signal reaches the table, so a page may be taken down (the table going before
    // its controls) while the window fills.
    SettingFields(PageHost& host, SettingScope scope) : host_(host), scope_(scope) {}

    // Takes the rows and connects each control so that it stores its value. Every setting
    // name must be in the scope's table: a misspelt row raises Failure at once.
    void Bind(std::vector<FieldRow> rows);

    // Fills the setting rows' controls from the store (absent values show their defaults);
    // with List scope, from the current list's key. Nothing is stored meanwhile.
    void LoadSettings();
    // Fills the section rows' memos from the current list's data file: empty when the list
    // has no data file yet, rather than what another list showed.
    void LoadSections();

    // Stores the control's value now. With List scope, nothing happens while no list is
    // shown; with Global scope, the console is refreshed afterwards. Raises Failure when the
    // store or the data file refuses.
    void Store(const QObject* control);

    // The setting's value as its control shows it (see ControlText).
    std::string Shown(std::string_view settingName) const;

private:
    struct Row {
        FieldRow field;
        const SettingDef* def = nullptr;  // nullptr for a section
    };
    const Row& RowOf(const QObject* control) const;
    void StoreRow(const Row& row);
    void Connect(const Row& row);
    std::string Key() const;

    PageHost& host_;
    SettingScope scope_;
    std::vector<Row> rows_;
};

}  // namespace corvanteer
