#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include "dialogs/optionsdlg.h"
#include "plugin/tarvex.h"
#include "support/dialoganswer.h"
#include "support/icqtree.h"

namespace importtest {

using testsupport::IcqInstallation;
using testsupport::PasswordDialogAnswer;
using testsupport::RecordingIO;
using Lines = std::vector<std::string>;

const char* const kPrefs = "Software\\Mirabilis\\ICQ\\DefaultPrefs\\";
const char* const kOwnerPrefs = "Software\\Mirabilis\\ICQ\\Owners\\111\\Prefs\\";

/// One ICQ owner "Rover" (UIN 111, personal sounds) on a fake host, and a run of the plug-in.
class ImportRun : public ::testing::Test {
protected:
    ImportRun() {
        plugin.setArbiter(&icq.host.arbiter);
        icq.install();
        icq.addOwner("111.uin", "Rover", "111", true);
        auto& registry = icq.host.registry;
        registry.setString("HKEY_CURRENT_USER", kPrefs, "Default Server Host", "login.icq.com");
        registry.setDword("HKEY_CURRENT_USER", kPrefs, "Default Server Port", 5190);
        registry.setString("HKEY_CURRENT_USER", kOwnerPrefs, "PlaySound", "Yes");
        registry.setString("HKEY_CURRENT_USER", std::string(kOwnerPrefs) + "Sounds\\", "ICQMessage",
                           "C:\\Program Files\\ICQ\\Sounds\\msg.wav");
        icq.host.agent.widget = &hostWindow;
    }

    void discover() {
        ::testing::internal::CaptureStdout();
        ASSERT_TRUE(plugin.checkDependency());
        ::testing::internal::GetCapturedStdout();
    }
    /// Shows the options page with a typed password.
    void showPage(const char* password = "pw") {
        hostWindow.show();
        plugin.showDlg(0, &hostWindow);
        ASSERT_NE(plugin.optionsDlg, nullptr);
        plugin.optionsDlg->m_pOwnerPassword->setText(QString::fromUtf8(password));
    }
    /// Runs the import; a password dialog that opens is answered with `password`.
    int run(const char* password = "pw", bool accept = true) {
        io.lines.clear();
        const PasswordDialogAnswer answer(password, accept);
        ::testing::internal::CaptureStdout();
        const int result = plugin.activatePlugin(&io, 0);
        stdoutText = ::testing::internal::GetCapturedStdout();
        asked = answer.answered();
        return result;
    }
    QAbstractButton* box(const char* name) const {
        return plugin.optionsDlg->findChild<QAbstractButton*>(name);
    }
    /// Clicks a box of the page where a user would, on its indicator.
    static void click(QAbstractButton* box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    std::string sound(const std::string& name) const {
        return "\"" + icq.dir.path() + "/Program Files/ICQ/Sounds/" + name + "\"";
    }
    /// The record of a complete run without page, given the password.
    Lines fullRecord(const std::string& password) const {
        const std::string text =
            "begin ICQ_FAILURE|ICQ_VQX_STATUS=ICQ_VQX_NO|end|begin ICQ_IMPORTED_SETTINGS|"
            "ICQ_HOST_SERVER_NAME=login.icq.com|ICQ_HOST_SERVER_PORT=5190|"
            "ICQ_USER_SETTINGS=ICQ_VQX_YES|ICQ_USER_CONTACTS=ICQ_VQX_YES|"
            "ICQ_APPEND_CONTACTS=ICQ_VQX_YES|ICQ_SOUNDS_SETTINGS_PRESENT=ICQ_VQX_YES|end|"
            "begin ICQ_OWNER|UIN=111|Nickname=Rover|Password=" +
            password +
            "|end|begin CONTACTS|No_contacts=0|end|begin ICQ_SOUNDS_SETTINGS|"
            "PlaySound=ICQ_VQX_YES|file ICQMessage=" +
            sound("msg.wav") + "|end|flush|";
        Lines lines;
        for (size_t at = 0, bar; (bar = text.find('|', at)) != std::string::npos; at = bar + 1) {
            lines.push_back(text.substr(at, bar - at));
        }
        return lines;
    }
    /// The lines between "begin <name>" and its matching "end"; {"absent"} without the section.
    Lines section(const std::string& name) const {
        auto it = std::find(io.lines.begin(), io.lines.end(), "begin " + name);
        if (it == io.lines.end()) {
            return {"absent"};
        }
        Lines inside;
        for (int depth = 1; ++it != io.lines.end();) {
            depth += it->rfind("begin ", 0) == 0 ? 1 : *it == "end" ? -1 : 0;
            if (depth == 0) {
                break;
            }
            inside.push_back(*it);
        }
        return inside;
    }

    QWidget hostWindow;
    IcqInstallation icq;
    tarvex plugin{nullptr};
    RecordingIO io;
    std::string stdoutText;
    int asked = 0; ///< password dialogs answered in the last run
};

} // namespace importtest
