#pragma once

// The "Members" page: the roster with its ban marks and each member's delivery mode (shown
// for the selected member, and changed, in "Delivery"), the members whose mail bounces (their
// scores, disabled delivery, enabling it again), the list's statistics, recent activity,
// the moderators (a setting of the list) and the blacklist (a section of its data file);
// adding, removing and banning members, changing a password, importing and exporting. The
// work itself is done by the app layer; the page asks the questions and shows the answers.
//
// To add a control: create it in BuildControls with Named<...>(parent, "objectName"), lay it
// out, and either add its row to the table given to fields_.Bind in the constructor (Setting
// for a setting of the list, Section for a text of its data file) or connect its handler there
// (a private method named after the control and event, such as butRefreshListClick).

#include <QWidget>
#include <string>
#include <thread>

#include "gui/pages/SettingFields.h"

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;

namespace corvanteer {

class PageHost;
struct ManualPosting;
struct RosterView;

class MembersPage : public QWidget {
    Q_OBJECT
public:
    MembersPage(PageHost& host, QWidget* parent);
    // Waits for a running build of the archive.
    ~MembersPage() override;

    // Fill the moderators from the current list's settings, the blacklist from its data file.
    void LoadSettings() { fields_.LoadSettings(); }
    void LoadSections() { fields_.LoadSections(); }

    // Refills the roster from the current list and shows it, as "Refresh" does.
    void Refresh();
    // The page comes into view: counts and recent activity.
    void tabMembersShow();

    // Ban marks and the banned count mean something only when members may post.
    void ShowBanControls(bool shown);
    // "Change password" is offered while members post with a password.
    void ShowPasswordButton(bool shown);

    // The roster's addresses, in the order shown, for a manual posting.
    void FillPosting(ManualPosting& posting) const;

private:
    void BuildControls();
    // Refills the roster, keeping the selected member selected.
    void FillRoster();
    void butRefreshListClick();
    void butAddMemberClick();
    void butDeleteMemberClick();
    void lstMembersClickCheck(QListWidgetItem* item);
    void butPasswordClick();
    void butImportListClick();
    void butExportListClick();
    // Builds the list's HTML archive (only what changed) beside the window, then opens its
    // index in the default browser.
    void butOpenArchiveClick();
    void ArchiveBuilt(const std::string& index, const std::string& error);
    // The selected member's mode into "Delivery" (disabled when none is selected).
    void lstMembersSelect();
    void cmbDeliveryModeChange();
    void butEnableMemberClick();
    // The bounce list and the disabled count from the roster's view.
    void FillBounces(const RosterView& view);
    void ShowRefusalOrMessage(bool ok, const std::string& message);

    PageHost& host_;
    bool passwordButtonShown_ = false;

    QListWidget* lstMembers = nullptr;
    QListWidget* lstLatestActions = nullptr;
    QLabel* lblTotalMembers = nullptr;
    QLabel* lblBannedCaption = nullptr;
    QLabel* lblBannedMembers = nullptr;
    QLabel* lblBanNote = nullptr;
    QLabel* lblDisabledMembers = nullptr;
    QListWidget* lstBounces = nullptr;
    QPushButton* butEnableMember = nullptr;
    QPushButton* butRefreshList = nullptr;
    QPushButton* butAddMember = nullptr;
    QPushButton* butDeleteMember = nullptr;
    QPushButton* butPassword = nullptr;
    QPushButton* butImportList = nullptr;
    QPushButton* butExportList = nullptr;
    QPushButton* butOpenArchive = nullptr;
    QComboBox* cmbDeliveryMode = nullptr;
    QPlainTextEdit* memoModerators = nullptr;
    QPlainTextEdit* memoBlacklist = nullptr;

    SettingFields fields_;
    std::thread archiveThread_;  // the archive's build; joined before the page goes
};

}  // namespace corvanteer
