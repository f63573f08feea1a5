// Receives the URLs the desktop services would open (install with QDesktopServices::setUrlHandler).
#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};
