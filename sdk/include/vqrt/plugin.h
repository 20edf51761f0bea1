#pragma once

#include <cstdint>
#include <cstring>

#include "vqrt/version.h"

class CArbiter;
class CBaseVantryIO;
class CVantryBitmap;

/// The base class of every plug-in; the host talks to a plug-in only through these operations.
class plugin {
public:
    /// Stores the arbiter and nothing else.
    explicit plugin(CArbiter* arbiter) : m_pArbiter(arbiter) {}
    /// How the host stores its arbiter after getObject().
    void setArbiter(CArbiter* arbiter) { m_pArbiter = arbiter; }

    /// Each text operation copies exactly `length` bytes: zero-filled, unterminated when cut.
    virtual char* getName(char* buffer, int length) = 0;
    /// A one-line description of the plug-in.
    virtual char* getDescription(char* buffer, int length) = 0;
    /// The tool tip the host shows beside the plug-in.
    virtual char* getToolTip(char* buffer, int length) = 0;
    /// The category under which the host lists the plug-in.
    virtual char* getMajorCategory(char* buffer, int length) = 0;
    /// The sub-category under which the host lists the plug-in.
    virtual char* getMinorCategory(char* buffer, int length) = 0;
    /// The category the host uses internally; "NeutralCategory" unless a plug-in says otherwise.
    virtual char* getInternalCategory(char* buffer, int length) {
        if (length > 0) {
            std::strncpy(buffer, "NeutralCategory", static_cast<size_t>(length));
        }
        return buffer;
    }
    /// The plug-in's version.
    virtual version_t* getVersion(version_t* version) = 0;
    /// The oldest host engine the plug-in runs in.
    virtual version_t* getMinEngineVersion(version_t* version) = 0;
    /// Fills `bitmap` with the plug-in's icon.
    virtual bool getIcon(CVantryBitmap& bitmap) = 0;
    /// The number of progress blocks a complete import reports.
    virtual int32_t getBlockCount() = 0;
    /// Stores the plug-in's property flags and answers the pointer.
    virtual long* getProperties(long* properties) = 0;
    /// True when the installation holds something to import.
    virtual bool checkDependency() = 0;
    /// Runs the import into `io`; 0 when complete, -1 otherwise.
    virtual int32_t activatePlugin(CBaseVantryIO* io, long flags) = 0;
    /// Shows the plug-in's options page inside `parent` (a QWidget*).
    virtual int32_t showDlg(long flags, void* parent) = 0;
    /// Hides the options page.
    virtual void hideDlg(long flags) = 0;
    virtual ~plugin() {}

protected:
    /// The host's arbiter; null until the host stores it.
    CArbiter* m_pArbiter;
};

/// The factory every plug-in library exports; the host owns the object it answers.
extern "C" plugin* getObject();
