#pragma once

// ZelvarPatLookup: patient lookup, duplicate check, code lookup and patient record display
// for a practice's billing client. The host links the library, hands it its server link and
// utilities object once with InitPatLookup, and then calls the operations below; each opens a
// modal window and returns when the user has closed it.

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QList>
#include <QtGlobal>

#include <memory>
#include <optional>

namespace zelvar {
using Colour = quint32;                       // RGB, red in the low byte (0x00BBGGRR)

/// One printer as the host lists it: two descriptive texts and the port.
struct PrinterEntry { QString first; QString second; QString port; };

/// The host's settings object; every call may throw.
class ZelvarSettings {                         // a host object; every call may throw
public:
    virtual ~ZelvarSettings() = default;
    virtual double  GetColumnWidthFactor() = 0;
    virtual QString GetFieldDelimiter() = 0;
    virtual qint32  ExtraGridWidth() = 0;
    virtual qint32  ScrollBarWidth() = 0;      // twips
    virtual Colour  GridFrameColor() = 0;      // 0 = default
    virtual Colour  CurrentRowColor() = 0;     // 0 = default
};

/// The host's layout object: the colours of the dialogs.
class ZelvarLayout {
public:
    virtual ~ZelvarLayout() = default;
    virtual Colour WindowForeColor() = 0;
    virtual Colour WindowBackColor() = 0;
};

/// The host's utilities object: error reporting, message titles, string splitting, colours
/// and settings. Every call may throw.
class ZelvarUtils {
public:
    virtual ~ZelvarUtils() = default;
    virtual std::shared_ptr<ZelvarSettings> GetSettingsObject() = 0;
    virtual std::shared_ptr<ZelvarLayout>   GetLayoutObject() = 0;
    // Entry i is the colour of code letter char(64 + i): entry 1 is "A". Entry 0 is unused.
    // An entry is a colour in decimal text, or empty for "no colour".
    virtual QStringList ColorTable() = 0;
    virtual std::optional<QList<PrinterEntry>> GetPrinters(bool, bool, bool, bool) = 0;  // nullopt = nothing
    virtual bool InputFlagA() = 0;
    virtual bool InputFlagB() = 0;
    virtual bool InputFlagC() = 0;
    virtual void ShowMessage(const QString& message, int, int, const QString& title,
                             int, int, int, int, QVariant& result) = 0;
    virtual void    ReportError(const QString& message) = 0;
    virtual QString GetMessageTitle() = 0;
    virtual bool    IsDebugMode() = 0;
    virtual QString GetPiece(const QString& text, const QString& delimiter, qint16 index) = 0; // from 1
    virtual void    StrToArr(const QString& text, const QString& delimiter,
                             QStringList& pieces, bool& success) = 0;  // pieces[k - 1] is piece k
    virtual qint32  CountPieces(const QString& text, const QString& delimiter) = 0;
    virtual QString GetHelpFile() = 0;
};

/// The host's link to the practice server. Requests are "|GET|kind|fields..." texts; a call
/// returns true when the server answered, with one reply message per list element.
class HostLink {
public:
    virtual ~HostLink() = default;
    virtual bool GetServerStringData(const QString& request, QStringList& replies,
                                     const QString& third, QString& fourth) = 0;
    virtual bool GetServerString(const QString& request, QString& reply,
                                 const QString& third, QString& fourth) = 0;
    virtual QString ContextValue1() = 0;
    virtual QString ContextValue2() = 0;
};

/// The component's one class. Call InitPatLookup first, on the thread that will use the
/// component; the references it keeps belong to that thread.
class PatLookup {
public:
    /// Asks the server for known patients matching these values and lets the user pick one.
    /// Returns the chosen row, or an empty string.
    QString CheckForDuplicatePatient(const QString& SSN, const QString& Account, const QString& PatName,
                                     const QString& DOB, const QString& Policy, const QString& MedRec);
    /// Whether this thread's last CheckForDuplicatePatient showed its list. When it did and
    /// returned an empty string, the user closed the list without choosing: the patients may
    /// still be there (an addition to the original interface).
    bool    DuplicatesWereShown() const;
    /// Shows the server's code table MiscCode and returns the chosen row.
    QString MiscLookup(const QString& MiscCode, const QString& AcctNumber, bool ReturnAllColumns = false);
    /// Keeps the host's server link and utilities object (and its settings and layout objects)
    /// for this thread. Errors reach the caller.
    void    InitPatLookup(std::shared_ptr<HostLink> HostLinkRef, std::shared_ptr<ZelvarUtils> UtilsRef);
    /// Searches the patient accounts; returns the chosen account, "CANCEL" or "NEWACCT".
    QString PatientLookup(const QString& strAcc, const QString& SearchBy = {}, bool AlwaysShowLookup = false);
    /// PatientLookup with a mode ("W" for workflow) and the mode switch.
    QString PatientLookupExtended(const QString& strAcc, const QString& SearchBy = {},
                                  bool AlwaysShowLookup = false, const QString& Mode = {},
                                  bool AllowModeSwitch = false);
    /// Shows the patient record of AcctNo. Errors reach the caller.
    void    ShowDisplayPatientInfo(const QString& AcctNo);
};
}
