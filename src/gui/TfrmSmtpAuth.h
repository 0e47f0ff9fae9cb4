#pragma once

// "SMTP Authentication": whether the SMTP server wants a user name and password, and which.
// Created once at start-up; every control stores its value when clicked or left.

#include <QDialog>
#include <string>

class QCheckBox;
class QGroupBox;
class QLineEdit;

namespace corvanteer {

class SettingsStore;

class TfrmSmtpAuth : public QDialog {
    Q_OBJECT
public:
    // Reads ReqSmtpAuth, SmtpUser and SmtpPassword (unscrambled) from the settings key.
    TfrmSmtpAuth(SettingsStore& store, std::string settingsKey, QWidget* parent);

    bool RequireAuthentication() const;
    std::string User() const;
    std::string Password() const;  // in plain

    QCheckBox* chkReqSmtpAuth = nullptr;
    QGroupBox* grpSmtpUser = nullptr;
    QLineEdit* edtSmtpUser = nullptr;
    QLineEdit* edtSmtpPassword = nullptr;

signals:
    // After each stored change; the window hands the values to the SMTP client.
    void settingsChanged();

private:
    void chkReqSmtpAuthClick();

    SettingsStore& store_;
    std::string key_;
};

}  // namespace corvanteer
