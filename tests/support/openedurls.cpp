#include "openedurls.h"

#include <QDesktopServices>

namespace testsupport {

OpenedUrls::OpenedUrls(QString scheme) : scheme_(std::move(scheme)) {
    QDesktopServices::setUrlHandler(scheme_, this, "take");
}

OpenedUrls::~OpenedUrls() {
    QDesktopServices::unsetUrlHandler(scheme_);
}

} // namespace testsupport
