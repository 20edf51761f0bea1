#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

namespace testsupport {

/// While it lives, takes the URLs of `scheme` that the program hands to the desktop
/// (QDesktopServices::openUrl) instead of starting a browser or file manager.
class OpenedUrls : public QObject {
    Q_OBJECT

public:
    explicit OpenedUrls(QString scheme = QStringLiteral("file"));
    ~OpenedUrls() override;
    OpenedUrls(const OpenedUrls&) = delete;
    OpenedUrls& operator=(const OpenedUrls&) = delete;

    /// The URLs taken, in order.
    const QList<QUrl>& urls() const { return urls_; }

public slots:
    void take(const QUrl& url) { urls_ << url; }

private:
    QString scheme_;
    QList<QUrl> urls_;
};

} // namespace testsupport
