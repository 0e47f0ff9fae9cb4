#include "gui/pages/SettingFields.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <mutex>

#include "engine/Services.h"
#include "gui/GuiUtil.h"
#include "gui/pages/PageHost.h"
#include "gui/pages/PendingEdits.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/Status.h"

namespace corvanteer {

FieldRow Section(QPlainTextEdit* memo, std::string name) {
    return {memo, std::move(name), true, StoreWhen::Done};
}

std::string ControlText(const QObject* control, SettingType type) {
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
        return S(edit->text());
    }
    if (const auto* memo = qobject_cast<const QPlainTextEdit*>(control)) {
        return JoinLines(MemoLines(memo));
    }
    if (const auto* box = qobject_cast<const QCheckBox*>(control)) {
        return box->isChecked() ? "1" : "0";
    }
    if (const auto* spin = qobject_cast<const QSpinBox*>(control)) {
        return std::to_string(spin->value());
    }
    if (const auto* group = qobject_cast<const QButtonGroup*>(control)) {
        return std::to_string(group->checkedId());
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(control)) {
        return type == SettingType::Integer ? std::to_string(combo->currentIndex())
                                            : S(combo->currentText());
    }
    throw Failure(ErrorKind::Refused, "A setting cannot be shown in " +
                                          std::string(control->metaObject()->className()));
}

void ShowControlText(QObject* control, SettingType type, const std::string& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(Q(text));
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(control)) {
        SetMemoLines(memo, text);
    } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
        box->setChecked(text == "1");
    } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
        spin->setValue(StrToIntDef(text, 0));
    } else if (auto* group = qobject_cast<QButtonGroup*>(control)) {
        // A stored choice without a button leaves the buttons as they are.
        if (QAbstractButton* button = group->button(StrToIntDef(text, 0))) {
            button->setChecked(true);
        }
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        // Texts are found in any case: a choice may be stored as "tls" and shown as "TLS".
        combo->setCurrentIndex(type == SettingType::Integer
                                   ? StrToIntDef(text, 0)
                                   : combo->findText(Q(text), Qt::MatchFixedString));
    } else {
        throw Failure(ErrorKind::Refused, "A setting cannot be shown in " +
                                              std::string(control->metaObject()->className()));
    }
}

void SettingFields::Bind(std::vector<FieldRow> rows) {
    const std::vector<SettingDef>& table =
        scope_ == SettingScope::Global ? GlobalSettingTable() : ListSettingTable();
    for (FieldRow& field : rows) {
        Row row{std::move(field), nullptr};
        if (row.field.section && scope_ == SettingScope::Global) {
            throw Failure(ErrorKind::Refused, "Sections belong to a list: " + row.field.name);
        }
        if (!row.field.section) {
            row.def = &FindSettingOrFail(table, row.field.name);
        }
        rows_.push_back(std::move(row));
    }
    for (const Row& row : rows_) {
        Connect(row);
    }
}

void SettingFields::Connect(const Row& row) {
    if (row.field.when == StoreWhen::PageAsks) {
        return;
    }
    QObject* control = row.field.control;
    // The handlers look at the window's filling flag before anything of this table: while the
    // window takes its pages down, a field losing the focus must find nothing to store.
    PendingEdits& edits = host_.Edits();
    auto store = [this, control] { host_.Guarded([&] { StoreRow(RowOf(control)); }); };
    auto storeUnlessFilling = [&edits, store] {
        if (!edits.Filling()) {
            store();
        }
    };
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edits.StoreOnLeave(edit, store);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(control)) {
        edits.StoreOnLeave(memo, store);
        if (row.field.when == StoreWhen::EveryChange) {
            QObject::connect(memo, &QPlainTextEdit::textChanged, memo, storeUnlessFilling);
        }
    } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
        QObject::connect(box, &QCheckBox::clicked, box, store);
    } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
        QObject::connect(spin, &QSpinBox::valueChanged, spin, storeUnlessFilling);
    } else if (auto* group = qobject_cast<QButtonGroup*>(control)) {
        QObject::connect(group, &QButtonGroup::idClicked, group, store);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        QObject::connect(combo, &QComboBox::activated, combo, store);
    }
}

std::string SettingFields::Key() const {
    const AppPaths& paths = host_.EngineServices().paths;
    return scope_ == SettingScope::Global ? paths.SettingsKey()
                                          : paths.ListKey(host_.CurrentList());
}

void SettingFields::LoadSettings() {
    PendingEdits::FillScope filling(host_.Edits());
    Services& services = host_.EngineServices();
    const std::string key = Key();
    for (const Row& row : rows_) {
        if (row.def != nullptr) {
            ShowControlText(row.field.control, row.def->type,
                            ReadSettingText(services.store, key, *row.def, services.paths.appDir));
        }
    }
}

void SettingFields::LoadSections() {
    PendingEdits::FillScope filling(host_.Edits());
    const std::string file = host_.EngineServices().paths.ListDataFile(host_.CurrentList());
    const bool exists = FileExists(file);
    for (const Row& row : rows_) {
        if (row.field.section) {
            SetMemoLines(static_cast<QPlainTextEdit*>(row.field.control),
                         exists ? ReadSection(file, row.field.name) : std::string());
        }
    }
}

const SettingFields::Row& SettingFields::RowOf(const QObject* control) const {
    for (const Row& row : rows_) {
        if (row.field.control == control) {
            return row;
        }
    }
    throw Failure(ErrorKind::Refused, "No setting is bound to " + S(control->objectName()));
}

void SettingFields::Store(const QObject* control) {
    StoreRow(RowOf(control));
}

void SettingFields::StoreRow(const Row& row) {
    Services& services = host_.EngineServices();
    if (scope_ == SettingScope::List && host_.CurrentList().empty()) {
        return;
    }
    if (row.field.section) {
        std::lock_guard<StoreLock> guard(services.storeLock);
        WriteSection(services.paths.ListDataFile(host_.CurrentList()), row.field.name,
                     MemoLines(static_cast<const QPlainTextEdit*>(row.field.control)));
        return;
    }
    WriteSettingText(services.store, Key(), *row.def,
                     ControlText(row.field.control, row.def->type));
    if (scope_ == SettingScope::Global) {
        host_.RefreshConsole();
    }
}

std::string SettingFields::Shown(std::string_view settingName) const {
    for (const Row& row : rows_) {
        if (row.def != nullptr && SameText(row.def->name, settingName)) {
            return ControlText(row.field.control, row.def->type);
        }
    }
    throw Failure(ErrorKind::Refused, "No control shows " + std::string(settingName));
}

}  // namespace corvanteer
