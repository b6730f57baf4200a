#pragma once
#include "tools/ToolSearch.h"

#include <QObject>
#include <QString>

#include <memory>

// The tool search for a dialog: the worker's reports arrive as queued
// signals on the thread that owns this object.
class CToolSearchQt : public QObject {
    Q_OBJECT
public:
    explicit CToolSearchQt(QObject* parent = nullptr);
    ~CToolSearchQt() override;

    // "&Find Now": false while a search runs.
    bool Start(const QString& startFolder, const QString& toolFile);
    // "&Stop", OK and Cancel during a search: returns once the worker has
    // ended; what it found so far has been or will still be signalled.
    void Stop();
    bool IsIdle() const { return m_search->IsIdle(); }

signals:
    void processing(const QString& folder); // the "Processing:" line
    void found(const QString& path);        // one more entry of the list
    void finished();                        // the search ended by itself

private:
    std::unique_ptr<CToolSearch> m_search;
};
