#pragma once
#include "sdp/SDPObject.h"

#include <memory>

class Prompter;
class QDialog;

// What a window showing a stored record holds while it is open: the record
// and its lock, and, once seated, the record's viewer-window seat, so the
// store tells that window when the record expires. Let go in reverse order:
// the seat (unless another window has taken it since), then the lock.
class CViewerHold {
public:
    explicit CViewerHold(std::shared_ptr<CSDPObject> record);
    ~CViewerHold();
    CViewerHold(const CViewerHold&) = delete;
    CViewerHold& operator=(const CViewerHold&) = delete;

    // False when the lock was refused: the record's deletion has begun.
    bool ok() const { return m_lock.ok(); }
    void Seat(CViewerWindow& window);
    void Unseat();

private:
    std::shared_ptr<CSDPObject> m_record;
    CRecordLock m_lock;
    CViewerWindow* m_window = nullptr;
};

// The record `dialog` shows expired: the user is told and the dialog
// cancels, once the walk or socket handler that noticed has returned.
void CloseOnExpiry(QDialog& dialog, Prompter& prompter);
