#pragma once
#include <QObject>

#include <functional>
#include <optional>

// Whether each lock key is on, as its keyboard light shows.
struct CLockKeys {
    bool caps = false;
    bool num = false;
    bool scroll = false;
    bool operator==(const CLockKeys&) const = default;
};

// Follows the three lock keys for the status bar. Where the platform tells
// (the X server's keyboard indicators, Windows' key state) that answer is
// taken; where it does not (Wayland, offscreen), the lock keys this program
// sees pressed toggle a state that starts with all three off, so it can be
// wrong about presses made while another program had the keyboard.
class CLockKeyWatch final : public QObject {
    Q_OBJECT
public:
    // Watches the key presses of every window of the application.
    explicit CLockKeyWatch(QObject* parent = nullptr);
    ~CLockKeyWatch() override;

    CLockKeys State() const { return m_state; }
    // Asks the platform again; Changed follows when the answer differs.
    void Refresh();
    // The platform's answer, none where it has none. Tests replace it.
    std::function<std::optional<CLockKeys>()> readPlatform;

signals:
    void Changed(CLockKeys state);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Set(CLockKeys state);
    CLockKeys m_state;
};

// The platform's lock key state, none where it cannot be read.
std::optional<CLockKeys> ReadPlatformLockKeys();
