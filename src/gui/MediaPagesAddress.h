#pragma once
#include "gui/MediaPages.h"

#include <memory>
#include <optional>
#include <string>

class QSpinBox;
struct CAdminScopeEntry;

// The nearest scope directory from `from` up through its parents (from
// included); null when there is none.
std::shared_ptr<CSDPObject> NearestScopeDirectory(std::shared_ptr<CSDPObject> from);
// The administrative scope of the nearest scope directory above the
// session; null in the TTL Scope or outside any scope.
const CAdminScopeEntry* ScopeOfSession(const CSDPObject& session, const CAdminScopeList* scopes);
// Whether a scope directory named "TTL Scope" lies on the way up from `from`.
bool UnderTtlScope(std::shared_ptr<CSDPObject> from);

// A free address of the session's scope (the default range outside any
// administrative scope), dotted; nothing when every draw hit a taken one.
std::optional<std::string> ProposeAddress(const CSDPObject& session, const CMediaContext& context);

// "Address and port to be used": a free address of the session's scope and
// a port by media kind for an entry without an address, else the entry's
// own. In directory mode (a folder) it is the last page of its wizard.
class CMediaWizardAddressPage final : public QWizardPage {
    Q_OBJECT
public:
    static constexpr int kMaxLevels = 100;
    static constexpr const char* kNoFreeAddressText =
        "No free multicast address was found in this scope. Please enter an address yourself.";

    CMediaWizardAddressPage(CSDPMedia& entry, CSDPObject& session, const CMediaContext& context, bool directoryMode,
                         QWidget* parent = nullptr);
    QLineEdit& Address() const { return *m_address; }
    QLineEdit& Port() const { return *m_port; }
    QSpinBox& Levels() const { return *m_levels; }

    void initializePage() override;
    bool validatePage() override;
    // Going back keeps what was typed, when it is sound.
    void cleanupPage() override;
    bool isComplete() const override { return true; }
    int nextId() const override;

private:
    // The typed values, or false after telling the user what is wrong.
    bool Read(int& port, int& levels, bool tell) const;
    void Store(int port, int levels);

    CSDPMedia& m_entry;
    CSDPObject& m_session;
    CMediaContext m_context;
    bool m_directoryMode;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_port = nullptr;
    QSpinBox* m_levels = nullptr;
};

// The platform's message for a number outside its range.
std::string RangeText(long long low, long long high);
