#include "gui/pages/MembersPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/BounceOperations.h"
#include "app/ImportExport.h"
#include "app/MemberModeOperations.h"
#include "app/RosterOperations.h"
#include "engine/ManualPosting.h"
#include "engine/Roster.h"
#include "engine/Services.h"
#include "engine/archive/ListArchive.h"
#include "gui/Dialogs.h"
#include "gui/GuiUtil.h"
#include "gui/pages/PageHost.h"
#include "gui/pages/PendingEdits.h"
#include "support/SectionFile.h"

namespace corvanteer {

namespace {
// Marks a roster item whose member's delivery is disabled (bounces).
constexpr int kDisabledRole = Qt::UserRole + 1;
}  // namespace

MembersPage::MembersPage(PageHost& host, QWidget* parent)
    : QWidget(parent), host_(host), fields_(host, SettingScope::List) {
    setObjectName(QStringLiteral("tabMembers"));
    BuildControls();
    fields_.Bind({
        Setting(memoModerators, "Moderators", StoreWhen::EveryChange),
        Section(memoBlacklist, "BlackList"),
    });

    connect(butRefreshList, &QPushButton::clicked, this, [this] { butRefreshListClick(); });
    connect(butAddMember, &QPushButton::clicked, this, [this] { butAddMemberClick(); });
    connect(butDeleteMember, &QPushButton::clicked, this, [this] { butDeleteMemberClick(); });
    connect(butPassword, &QPushButton::clicked, this, [this] { butPasswordClick(); });
    connect(butImportList, &QPushButton::clicked, this, [this] { butImportListClick(); });
    connect(butExportList, &QPushButton::clicked, this, [this] { butExportListClick(); });
    connect(butOpenArchive, &QPushButton::clicked, this, [this] { butOpenArchiveClick(); });
    connect(butEnableMember, &QPushButton::clicked, this, [this] { butEnableMemberClick(); });
    // Both look at the window's filling flag first: the roster is being refilled, or the
    // window is taking its pages down.
    PendingEdits& edits = host_.Edits();
    connect(lstMembers, &QListWidget::itemChanged, this, [this, &edits](QListWidgetItem* item) {
        if (!edits.Filling()) {
            lstMembersClickCheck(item);
        }
    });
    connect(lstMembers, &QListWidget::currentItemChanged, this, [this] { lstMembersSelect(); });
    // activated: the operator's choice only, never a choice the page makes itself.
    connect(cmbDeliveryMode, &QComboBox::activated, this, [this] { cmbDeliveryModeChange(); });
    OnLeave(lstMembers, [this, &edits] {
        if (!edits.Filling()) {
            tabMembersShow();
        }
    });
}

void MembersPage::BuildControls() {
    auto* grid = Child<QGridLayout>(this);
    setLayout(grid);

    auto* rosterPanel = Child<QWidget>(this);
    auto* rosterLayout = Child<QVBoxLayout>(rosterPanel);
    rosterPanel->setLayout(rosterLayout);
    lstMembers = Named<QListWidget>(rosterPanel, "lstMembers");
    lstMembers->setSortingEnabled(true);
    lstMembers->setMinimumSize(260, 280);
    lstMembers->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lblBanNote = Named<QLabel>(rosterPanel, "lblBanNote",
                               QStringLiteral("Check to ban member from posting"));
    rosterLayout->addWidget(lstMembers);
    rosterLayout->addWidget(lblBanNote);

    auto* delivery = Child<QWidget>(rosterPanel);
    auto* deliveryRow = Child<QHBoxLayout>(delivery);
    delivery->setLayout(deliveryRow);
    deliveryRow->setContentsMargins(0, 0, 0, 0);
    cmbDeliveryMode = Named<QComboBox>(delivery, "cmbDeliveryMode");
    for (DeliveryMode mode : kAllDeliveryModes) {
        cmbDeliveryMode->addItem(Q(DeliveryModeName(mode)));
    }
    cmbDeliveryMode->setToolTip(QStringLiteral(
        "How the selected member receives the list: each message, a MIME digest, a plain-text "
        "digest, or nothing"));
    cmbDeliveryMode->setEnabled(false);
    deliveryRow->addWidget(Child<QLabel>(delivery, QStringLiteral("Delivery")));
    deliveryRow->addWidget(cmbDeliveryMode, 1);
    rosterLayout->addWidget(delivery);

    auto* buttons = Child<QWidget>(rosterPanel);
    auto* buttonRow = Child<QGridLayout>(buttons);
    buttons->setLayout(buttonRow);
    butAddMember = Named<QPushButton>(buttons, "butAddMember", QStringLiteral("Add"));
    butAddMember->setToolTip(QStringLiteral("Add user"));
    butDeleteMember = Named<QPushButton>(buttons, "butDeleteMember", QStringLiteral("Remove"));
    butDeleteMember->setToolTip(QStringLiteral("Remove user"));
    butRefreshList = Named<QPushButton>(buttons, "butRefreshList", QStringLiteral("Refresh"));
    butPassword = Named<QPushButton>(buttons, "butPassword", QStringLiteral("Change password"));
    butImportList = Named<QPushButton>(buttons, "butImportList", QStringLiteral("Import list"));
    butExportList = Named<QPushButton>(buttons, "butExportList", QStringLiteral("Export list"));
    buttonRow->addWidget(butAddMember, 0, 0);
    buttonRow->addWidget(butDeleteMember, 0, 1);
    buttonRow->addWidget(butRefreshList, 0, 2);
    buttonRow->addWidget(butImportList, 1, 0);
    buttonRow->addWidget(butExportList, 1, 1);
    buttonRow->addWidget(butPassword, 1, 2);
    butOpenArchive = Named<QPushButton>(buttons, "butOpenArchive", QStringLiteral("Open archive"));
    butOpenArchive->setToolTip(QStringLiteral("Show the list's archive in the browser"));
    buttonRow->addWidget(butOpenArchive, 2, 0);
    rosterLayout->addWidget(buttons);
    grid->addWidget(rosterPanel, 0, 0, 3, 1);

    auto* stats = Named<QGroupBox>(this, "grpListStats", QStringLiteral("List stats"));
    auto* statsGrid = Child<QGridLayout>(stats);
    stats->setLayout(statsGrid);
    statsGrid->addWidget(Child<QLabel>(stats, QStringLiteral("Total members")), 0, 0);
    lblTotalMembers = Named<QLabel>(stats, "lblTotalMembers", QStringLiteral("0"));
    statsGrid->addWidget(lblTotalMembers, 0, 1);
    lblBannedCaption = Named<QLabel>(stats, "lblBannedCaption", QStringLiteral("Banned members"));
    lblBannedMembers = Named<QLabel>(stats, "lblBannedMembers", QStringLiteral("0"));
    statsGrid->addWidget(lblBannedCaption, 1, 0);
    statsGrid->addWidget(lblBannedMembers, 1, 1);
    statsGrid->addWidget(Child<QLabel>(stats, QStringLiteral("Delivery disabled")), 2, 0);
    lblDisabledMembers = Named<QLabel>(stats, "lblDisabledMembers", QStringLiteral("0"));
    statsGrid->addWidget(lblDisabledMembers, 2, 1);
    grid->addWidget(stats, 0, 1);

    auto* recent = Child<QWidget>(this);
    auto* recentLayout = Child<QVBoxLayout>(recent);
    recent->setLayout(recentLayout);
    recentLayout->setContentsMargins(0, 0, 0, 0);
    recentLayout->addWidget(Child<QLabel>(recent, QStringLiteral("Recent activity")));
    lstLatestActions = Named<QListWidget>(recent, "lstLatestActions");
    lstLatestActions->setMinimumHeight(110);
    recentLayout->addWidget(lstLatestActions);
    grid->addWidget(recent, 1, 1);

    auto* texts = Child<QWidget>(this);
    auto* textsLayout = Child<QGridLayout>(texts);
    texts->setLayout(textsLayout);
    textsLayout->setContentsMargins(0, 0, 0, 0);
    textsLayout->addWidget(Child<QLabel>(texts, QStringLiteral("Moderators")), 0, 0);
    textsLayout->addWidget(Child<QLabel>(texts, QStringLiteral("Blacklist")), 0, 1);
    memoModerators = Named<QPlainTextEdit>(texts, "memoModerators");
    memoBlacklist = Named<QPlainTextEdit>(texts, "memoBlacklist");
    memoModerators->setLineWrapMode(QPlainTextEdit::NoWrap);
    memoBlacklist->setLineWrapMode(QPlainTextEdit::NoWrap);
    textsLayout->addWidget(memoModerators, 1, 0);
    textsLayout->addWidget(memoBlacklist, 1, 1);
    grid->addWidget(texts, 2, 1);

    // Members whose mail comes back: their scores, and delivery enabled again by hand.
    auto* bounces = Named<QGroupBox>(this, "grpBounces", QStringLiteral("Bounces"));
    auto* bouncesLayout = Child<QHBoxLayout>(bounces);
    bounces->setLayout(bouncesLayout);
    lstBounces = Named<QListWidget>(bounces, "lstBounces");
    lstBounces->setMaximumHeight(90);
    butEnableMember = Named<QPushButton>(bounces, "butEnableMember", QStringLiteral("Enable"));
    butEnableMember->setToolTip(QStringLiteral("Send the list's mail to this member again"));
    bouncesLayout->addWidget(lstBounces, 1);
    bouncesLayout->addWidget(butEnableMember, 0, Qt::AlignTop);
    grid->addWidget(bounces, 3, 0, 1, 2);
}

MembersPage::~MembersPage() {
    if (archiveThread_.joinable()) {
        archiveThread_.join();
    }
}

void MembersPage::butOpenArchiveClick() {
    const std::string list = host_.CurrentList();
    if (list.empty() || !butOpenArchive->isEnabled()) {
        return;
    }
    if (archiveThread_.joinable()) {
        archiveThread_.join();
    }
    host_.RefreshConsole();  // the List Server address as shown
    butOpenArchive->setEnabled(false);
    host_.ShowStatus(QStringLiteral("Building the archive..."));
    // A first build of a large archive takes a while; the window stays usable meanwhile.
    Services& services = host_.EngineServices();
    archiveThread_ = std::thread([this, &services, list] {
        std::string index;
        std::string error;
        try {
            archive::BuildListArchive(services, list);
            index = services.paths.HtmlArchiveFolder(list) + "index.html";
        } catch (const std::exception& failure) {
            error = failure.what();
        }
        QMetaObject::invokeMethod(
            this, [this, index, error] { ArchiveBuilt(index, error); }, Qt::QueuedConnection);
    });
}

void MembersPage::ArchiveBuilt(const std::string& index, const std::string& error) {
    butOpenArchive->setEnabled(true);
    if (!error.empty()) {
        host_.ShowStatus(QString());
        host_.WindowDialogs().ShowMessage(window(), Q("The archive could not be built: " + error));
        return;
    }
    host_.ShowStatus(QStringLiteral("Archive built."));
    host_.WindowDialogs().OpenUrl(QUrl::fromLocalFile(Q(index)));
}

void MembersPage::FillRoster() {
    PendingEdits::FillScope filling(host_.Edits());
    // The selection stays on the same member across a refill.
    const QString selected =
        lstMembers->currentItem() != nullptr ? lstMembers->currentItem()->text() : QString();
    lstMembers->clear();
    host_.Guarded([this, &selected] {
        const RosterView view = corvanteer::FillRoster(host_.EngineServices(), host_.CurrentList());
        for (const RosterEntry& entry : view.entries) {
            auto item = std::make_unique<QListWidgetItem>(Q(entry.address));
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(entry.banned ? Qt::Checked : Qt::Unchecked);
            item->setData(Qt::UserRole, static_cast<int>(entry.mode));
            item->setToolTip(QStringLiteral("Delivery: ") + Q(DeliveryModeName(entry.mode)));
            if (entry.disabled) {
                item->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
                item->setData(kDisabledRole, true);
            }
            const bool reselect = item->text() == selected && !selected.isEmpty();
            lstMembers->addItem(item.release());  // the list owns its items
            if (reselect) {
                lstMembers->setCurrentRow(lstMembers->count() - 1);
            }
        }
        FillBounces(view);
    });
}

void MembersPage::lstMembersSelect() {
    QListWidgetItem* item = lstMembers->currentItem();
    cmbDeliveryMode->setEnabled(item != nullptr);
    cmbDeliveryMode->setCurrentIndex(item != nullptr ? item->data(Qt::UserRole).toInt() : 0);
}

void MembersPage::cmbDeliveryModeChange() {
    QListWidgetItem* item = lstMembers->currentItem();
    if (item == nullptr) {
        return;
    }
    host_.RefreshConsole();
    host_.Guarded([&] {
        const ActionResult result =
            SetMemberMode(host_.EngineServices(), host_.CurrentList(), S(item->text()),
                          S(cmbDeliveryMode->currentText()));
        if (!result.ok) {
            host_.WindowDialogs().ShowMessage(window(), Q(result.message));
        }
    });
    FillRoster();
    lstMembersSelect();
}

void MembersPage::FillBounces(const RosterView& view) {
    lstBounces->clear();
    for (const RosterEntry& entry : view.entries) {
        if (!entry.disabled && entry.score.empty()) {
            continue;
        }
        std::string text = entry.address + " - ";
        if (entry.disabled) {
            text += "delivery disabled";
        }
        if (!entry.score.empty()) {
            text += std::string(entry.disabled ? ", " : "") + "score " + entry.score;
        }
        auto item = std::make_unique<QListWidgetItem>(Q(text));
        item->setData(Qt::UserRole, Q(entry.address));
        lstBounces->addItem(item.release());
    }
    lblDisabledMembers->setText(QString::number(view.disabled));
    butEnableMember->setEnabled(lstBounces->count() > 0);
}

void MembersPage::tabMembersShow() {
    int banned = 0;
    for (int i = 0; i < lstMembers->count(); ++i) {
        if (lstMembers->item(i)->checkState() == Qt::Checked) {
            ++banned;
        }
    }
    lblTotalMembers->setText(QString::number(lstMembers->count()));
    lblBannedMembers->setText(QString::number(banned));
    lstLatestActions->clear();
    host_.Guarded([this] {
        for (const std::string& line :
             TextToLines(ReadSection(host_.EngineServices().paths.ListDataFile(host_.CurrentList()),
                                     "Latest_Actions"))) {
            lstLatestActions->addItem(Q(line));
        }
    });
    butPassword->setVisible(passwordButtonShown_);
}

void MembersPage::ShowBanControls(bool shown) {
    lblBannedCaption->setVisible(shown);
    lblBannedMembers->setVisible(shown);
    lblBanNote->setVisible(shown);
}

void MembersPage::ShowPasswordButton(bool shown) {
    passwordButtonShown_ = shown;
    butPassword->setVisible(shown);
}

void MembersPage::FillPosting(ManualPosting& posting) const {
    for (int i = 0; i < lstMembers->count(); ++i) {
        // A member whose delivery is disabled gets no postings.
        if (!lstMembers->item(i)->data(kDisabledRole).toBool()) {
            posting.members.push_back(S(lstMembers->item(i)->text()));
        }
    }
}

void MembersPage::Refresh() {
    FillRoster();
    tabMembersShow();
}

void MembersPage::butRefreshListClick() {
    Refresh();
}

void MembersPage::ShowRefusalOrMessage(bool ok, const std::string& message) {
    if (!message.empty()) {
        if (ok) {
            host_.WindowDialogs().Beep();
        }
        host_.WindowDialogs().ShowMessage(window(), Q(message));
    }
}

void MembersPage::butAddMemberClick() {
    host_.RefreshConsole();
    QString prompt = QStringLiteral("Enter user email.");
    for (;;) {
        const std::optional<QString> answer = host_.WindowDialogs().InputBox(
            window(), QStringLiteral("New member"), prompt, QString());
        if (!answer) {
            return;
        }
        ActionResult result;
        try {
            result = AddMember(host_.EngineServices(), host_.CurrentList(), S(*answer));
        } catch (const std::exception& error) {
            host_.WindowDialogs().ShowMessage(window(), QString::fromStdString(error.what()));
            return;
        }
        if (!result.ok && !EndsWith(result.message, " is aready a member.")) {
            prompt = Q(result.message);  // empty or not an address: ask again
            continue;
        }
        ShowRefusalOrMessage(result.ok, result.message);
        break;
    }
    FillRoster();
    tabMembersShow();
}

void MembersPage::butDeleteMemberClick() {
    QListWidgetItem* item = lstMembers->currentItem();
    if (item == nullptr) {
        return;
    }
    const QString address = item->text();
    host_.WindowDialogs().Beep();
    const DialogButton answer = host_.WindowDialogs().Ask(
        window(), QStringLiteral("Warning"),
        QStringLiteral("You are about to remove member \"") + address +
            QStringLiteral(" from the list.\r\nAre you sure you want to do this?"),
        DialogIcon::Warning, {DialogButton::Yes, DialogButton::Cancel}, DialogButton::Yes);
    if (answer != DialogButton::Yes) {
        return;
    }
    host_.RefreshConsole();
    host_.Guarded([&] {
        const ActionResult result =
            RemoveMember(host_.EngineServices(), host_.CurrentList(), S(address));
        if (!result.ok) {
            host_.WindowDialogs().ShowMessage(window(), Q(result.message));
        }
    });
    FillRoster();
    tabMembersShow();
}

void MembersPage::lstMembersClickCheck(QListWidgetItem* item) {
    host_.RefreshConsole();
    host_.Guarded([&] {
        const ActionResult result = SetBanned(host_.EngineServices(), host_.CurrentList(),
                                              S(item->text()), item->checkState() == Qt::Checked);
        if (!result.ok) {
            host_.WindowDialogs().ShowMessage(window(), Q(result.message));
        }
    });
    tabMembersShow();
}

void MembersPage::butPasswordClick() {
    QListWidgetItem* item = lstMembers->currentItem();
    if (item == nullptr) {
        host_.WindowDialogs().ShowMessage(window(), QStringLiteral("Please select a member"));
        return;
    }
    const std::string address = S(item->text());
    host_.RefreshConsole();
    host_.Guarded([&] {
        std::string current;
        for (const RosterEntry& entry :
             corvanteer::FillRoster(host_.EngineServices(), host_.CurrentList()).entries) {
            if (SameText(entry.address, address)) {
                current = MemberEntry::Parse(entry.line).password;
                break;
            }
        }
        const std::optional<QString> answer = host_.WindowDialogs().InputBox(
            window(), QStringLiteral("Change password"),
            QStringLiteral("Password for ") + Q(address), Q(current));
        const std::string password = answer ? S(*answer) : current;
        const ActionResult result =
            ChangePassword(host_.EngineServices(), host_.CurrentList(), address, password);
        if (!result.ok) {
            host_.WindowDialogs().ShowMessage(window(), Q(result.message));
        }
    });
}

void MembersPage::butEnableMemberClick() {
    QListWidgetItem* item = lstBounces->currentItem();
    if (item == nullptr) {
        host_.WindowDialogs().ShowMessage(window(), QStringLiteral("Please select a member"));
        return;
    }
    host_.RefreshConsole();
    host_.Guarded([&] {
        const ActionResult result = EnableMember(host_.EngineServices(), host_.CurrentList(),
                                                 S(item->data(Qt::UserRole).toString()));
        if (!result.ok) {
            host_.WindowDialogs().ShowMessage(window(), Q(result.message));
        }
    });
    FillRoster();
    tabMembersShow();
}

void MembersPage::butImportListClick() {
    const QString file = host_.WindowDialogs().OpenFile(
        window(), Q(host_.EngineServices().paths.appDir), kTextFileFilter);
    if (file.isEmpty()) {
        return;
    }
    host_.RefreshConsole();
    host_.Guarded([&] {
        const ActionResult result =
            ImportMembers(host_.EngineServices(), host_.CurrentList(), S(file));
        FillRoster();
        tabMembersShow();
        ShowRefusalOrMessage(result.ok, result.message);
    });
}

void MembersPage::butExportListClick() {
    const QString file = host_.WindowDialogs().SaveFile(
        window(), Q(host_.EngineServices().paths.appDir), kTextFileFilter);
    if (file.isEmpty()) {
        return;
    }
    host_.RefreshConsole();
    host_.Guarded([&] {
        const ActionResult result =
            ExportMembers(host_.EngineServices(), host_.CurrentList(), S(file));
        if (!result.ok) {
            host_.WindowDialogs().ShowMessage(window(), Q(result.message));
        }
        tabMembersShow();
    });
}

}  // namespace corvanteer
