#pragma once
#include <QSplashScreen>
#include <QTimer>

// The product picture shown centred while the program starts. It closes
// itself after a moment, or at the first key or mouse-button press in any
// window of the program; that press only closes it.
class CSplash final : public QSplashScreen {
    Q_OBJECT
public:
    explicit CSplash(int milliseconds = 750);
    ~CSplash() override;

    // Starts the clock, then shows it: showing may run pending events,
    // which must not find the splash up without its clock.
    void Start();

    // Whether the command line asks for no splash ("-nologo" or "/nologo").
    static bool Wanted(const QStringList& arguments);

signals:
    // It closed, by its clock or a press.
    void Gone();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer m_timer;
};
