// The running toolbar's door for later starts of velm: files they hand
// over (platform/system/toolbar_socket.h) are printed or previewed by the
// toolbar, one after the other, as dropped files are.
#pragma once

#include <QObject>

#include <string>

class QLocalServer;
class QLocalSocket;

namespace velm {

class TToolbarServer : public QObject {
    Q_OBJECT
public:
    explicit TToolbarServer(QObject* parent = nullptr);
    ~TToolbarServer() override;
    // Listens at Path unless another toolbar answers there; false when
    // this one does not listen (that one takes the files).
    bool Listen(const std::string& Path);

signals:
    // A file handed over, Action "View" or "Print"; emitted from the event loop.
    void FileHandedOver(const std::string& File, const std::string& Action);

private:
    void Read(QLocalSocket* Socket);

    QLocalServer* FServer;
};

} // namespace velm
