#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
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

/// One ICQ owner "Rover" (UIN 111, personal sounds) on a fake host, and a run of the plug-in.
class ImportRun : public ::testing::Test {
protected:
    ImportRun() {
        plugin.setArbiter(&icq.host.arbiter);
        icq.install();
        icq.addOwner("111.uin", "Rover", "111", true);
        icq.host.registry.setString("HKEY_CURRENT_USER", kPrefs, "Default Server Host",
                                    "login.icq.com");
        icq.host.registry.setDword("HKEY_CURRENT_USER", kPrefs, "Default Server Port", 5190);
        icq.host.registry.setString("HKEY_CURRENT_USER",
                                    "Software\\Mirabilis\\ICQ\\Owners\\111\\Prefs\\", "PlaySound",
                                    "Yes");
        icq.host.registry.setString("HKEY_CURRENT_USER",
                                    "Software\\Mirabilis\\ICQ\\Owners\\111\\Prefs\\Sounds\\",
                                    "ICQMessage", "C:\\Program Files\\ICQ\\Sounds\\msg.wav");
        icq.host.agent.widget = &hostWindow;
    }

    void discover() {
        ::testing::internal::CaptureStdout();
        ASSERT_TRUE(plugin.checkDependency());
        ::testing::internal::GetCapturedStdout();
    }
    void showPage() {
        hostWindow.show();
        plugin.showDlg(0, &hostWindow);
        ASSERT_NE(plugin.optionsDlg, nullptr);
    }
    int run() {
        ::testing::internal::CaptureStdout();
        const int result = plugin.activatePlugin(&io, 0);
        stdoutText = ::testing::internal::GetCapturedStdout();
        return result;
    }
    template <typename W> W* widget(const char* name) {
        return plugin.optionsDlg->findChild<W*>(name);
    }
    static void click(QWidget* w) {
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
    }
    std::string soundFile() const { return icq.dir.path() + "/Program Files/ICQ/Sounds/msg.wav"; }
    Lines fullRecord(const std::string& password) const {
        return {"begin ICQ_FAILURE",
                "ICQ_VQX_STATUS=ICQ_VQX_NO",
                "end",
                "begin ICQ_IMPORTED_SETTINGS",
                "ICQ_HOST_SERVER_NAME=login.icq.com",
                "ICQ_HOST_SERVER_PORT=5190",
                "ICQ_USER_SETTINGS=ICQ_VQX_YES",
                "ICQ_USER_CONTACTS=ICQ_VQX_YES",
                "ICQ_APPEND_CONTACTS=ICQ_VQX_YES",
                "ICQ_SOUNDS_SETTINGS_PRESENT=ICQ_VQX_YES",
                "end",
                "begin ICQ_OWNER",
                "UIN=111",
                "Nickname=Rover",
                "Password=" + password,
                "end",
                "begin CONTACTS",
                "No_contacts=0",
                "end",
                "begin ICQ_SOUNDS_SETTINGS",
                "PlaySound=ICQ_VQX_YES",
                "file ICQMessage=\"" + soundFile() + "\"",
                "end",
                "flush"};
    }
    Lines settingsSection() const { return section("ICQ_IMPORTED_SETTINGS"); }
    /// The lines between "begin <name>" and its matching "end".
    Lines section(const std::string& name) const {
        const auto begin = std::find(io.lines.begin(), io.lines.end(), "begin " + name);
        Lines inside;
        int depth = 0;
        for (auto it = begin; it != io.lines.end(); ++it) {
            if (it->rfind("begin ", 0) == 0) {
                ++depth;
            } else if (*it == "end" && --depth == 0) {
                break;
            }
            if (it != begin) {
                inside.push_back(*it);
            }
        }
        return inside;
    }
    bool hasSection(const std::string& name) const {
        return std::find(io.lines.begin(), io.lines.end(), "begin " + name) != io.lines.end();
    }

    QWidget hostWindow;
    IcqInstallation icq;
    tarvex plugin{nullptr};
    RecordingIO io;
    std::string stdoutText;
};

} // namespace importtest
