#pragma once
#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QLocalServer;

// The running program's door for a second start on the same install
// directory: the instance guard's lock says that one runs, this local
// socket lets the newcomer ask it to show its window before it ends. The
// name carries the user id and a hash of the install directory, so two
// installs or two users never meet.
class CInstanceBeacon final : public QObject {
public:
    explicit CInstanceBeacon(QObject* parent = nullptr);
    ~CInstanceBeacon() override;

    static QString ServerName(const std::string& installDirectory);
    // For the instance that holds the guard: a socket left by one that
    // crashed is taken over. False when the socket cannot be made.
    bool Listen(const std::string& installDirectory);
    // For a second start: asks the running instance to show itself. False
    // when none answers on the install directory.
    static bool WakeRunning(const std::string& installDirectory, int timeoutMs = 2000);

    // Runs for each wake request.
    std::function<void()> onWake;

private:
    QLocalServer* m_server = nullptr;
};
