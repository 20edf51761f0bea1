#include "plugin/tarvex.h"

#include <QWidget>

#include "bitmap/images.h"
#include "bitmap/vantrybitmap.h"
#include "dialogs/optionsdlg.h"

bool tarvex::getIcon(CVantryBitmap& bitmap) {
    bitmap.Copy(icon);
    return true;
}

int32_t tarvex::showDlg(long, void* parent) {
    if (optionsDlg == nullptr) {
        optionsDlg = new COptionsDlg(static_cast<QWidget*>(parent), nullptr);
        // The page belongs to the host's widget; forget it when the host destroys it.
        dialogGone =
            QObject::connect(optionsDlg, &QObject::destroyed, [this] { optionsDlg = nullptr; });
        for (const auto& entry : profileMap) {
            optionsDlg->insertWinUser(entry.first,
                                      entry.second != nullptr && entry.second->soundsPresent);
        }
        if (!profileMap.empty()) {
            optionsDlg->selectFirstProfile();
        }
    }
    optionsDlg->move(0, 0);
    optionsDlg->show();
    return 0;
}

void tarvex::hideDlg(long) {
    if (optionsDlg != nullptr) {
        optionsDlg->hide();
    }
}
