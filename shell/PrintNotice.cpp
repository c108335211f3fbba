#include "shell/PrintNotice.h"

#include "engine/JobOutcome.h"
#include "shell/Velmwin.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QStatusBar>
#include <QUrl>
#include <QVariantMap>

namespace velm {

namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
const char* const kInterface = "org.freedesktop.Notifications";

QString Pages(int count) { return count == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(count); }

QString Where(const TDelivery& Report)
{
    if (!Report.OutputPath.empty()) {
        QString path = QString::fromStdString(Report.OutputPath);
        const QString home = QDir::homePath();
        if (path.startsWith(home + '/'))
            path = '~' + path.mid(home.size());
        return path;
    }
    const QString printer = QString::fromStdString(Report.PrinterName);
    if (!Report.JobId.empty())
        return QStringLiteral("%1 as job %2").arg(printer, QString::fromStdString(Report.JobId));
    return printer;
}

} // namespace

QString PrintNoticeText(const std::string& FileName, const TDelivery& Report)
{
    return QStringLiteral("Printed %1: %2 to %3")
        .arg(QFileInfo(QString::fromStdString(FileName)).fileName(), Pages(Report.Sheets), Where(Report));
}

TPrintNotice::TPrintNotice(std::function<void(const QString&)> StatusLine, QObject* parent)
    : QObject(parent), FStatusLine(std::move(StatusLine))
{
}

void TPrintNotice::Tell(const std::string& FileName, const TDelivery& report)
{
    const QString text = PrintNoticeText(FileName, report);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        FStatusLine(text);
        return;
    }
    if (!FListening) {
        bus.connect(kService, kPath, kInterface, "ActionInvoked", this, SLOT(ActionInvoked(uint, QString)));
        bus.connect(kService, kPath, kInterface, "NotificationClosed", this, SLOT(NotificationClosed(uint, uint)));
        FListening = true;
    }
    const QString pdf = QString::fromStdString(report.OutputPath);
    QStringList actions;
    if (!pdf.isEmpty() && pdf != "-")
        actions << "default" << "Open the PDF" << "open" << "Open the PDF";
    const qsizetype colon = text.indexOf(": ");
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    call << QStringLiteral("Velm") << 0u << QStringLiteral("velm") << text.left(colon) << text.mid(colon + 2)
         << actions << QVariantMap{} << -1;
    // Asked without waiting: a slow or missing service never holds the windows.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, text, pdf, hasAction = !actions.isEmpty()](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        w->deleteLater();
        if (reply.isError()) {
            FStatusLine(text);
            return;
        }
        if (hasAction)
            FPdfs[reply.value()] = pdf;
    });
}

void TPrintNotice::ActionInvoked(uint Id, const QString& Key)
{
    const auto it = FPdfs.find(Id);
    if (it == FPdfs.end() || (Key != "default" && Key != "open"))
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(it->second));
}

void TPrintNotice::NotificationClosed(uint Id, uint) { FPdfs.erase(Id); }

void TellWherePrinted(const std::string& FileName, const TDelivery& Delivery)
{
    static QPointer<TPrintNotice> notice;
    if (!notice)
        notice = new TPrintNotice(
            [](const QString& text) {
                if (VelmWindow)
                    VelmWindow->statusBar()->showMessage(text);
            },
            QCoreApplication::instance());
    notice->Tell(FileName, Delivery);
}

} // namespace velm
