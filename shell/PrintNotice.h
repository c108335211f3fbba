// After a print from the windows: where it went, as a desktop notification
// with an action that opens the PDF, or on the status line when no
// notification service runs.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <string>

namespace velm {

struct TDelivery;

// "Printed NAME: 12 pages to ~/PDF/NAME.pdf" (or "to QUEUE as job QUEUE-7").
QString PrintNoticeText(const std::string& FileName, const TDelivery& Delivery);

class TPrintNotice : public QObject {
    Q_OBJECT
public:
    // StatusLine shows the text when no notification can be shown.
    explicit TPrintNotice(std::function<void(const QString&)> StatusLine, QObject* parent = nullptr);
    // Tells of a document FileName's job delivered.
    void Tell(const std::string& FileName, const TDelivery& Delivery);

private slots:
    void ActionInvoked(uint Id, const QString& Key);
    void NotificationClosed(uint Id, uint Reason);

private:
    std::function<void(const QString&)> FStatusLine;
    std::map<uint, QString> FPdfs; // notification id: the PDF its action opens
    bool FListening = false;
};

// Tells of a delivered document through the application's one notice,
// falling back to the browser window's status line.
void TellWherePrinted(const std::string& FileName, const TDelivery& Delivery);

} // namespace velm
