#pragma once

#include <zelvar/patlookup.h>

#include <QString>
#include <QStringList>

#include <memory>

// The component-wide references to the host's objects. They exist once per thread: an
// instance of PatLookup used on another thread sees that thread's own, separately initialised
// set. Every window reaches the server and the utilities through these.
namespace zelvar::component {

struct References
{
    std::shared_ptr<HostLink> hostLink;
    std::shared_ptr<ZelvarUtils> utils;
    std::shared_ptr<ZelvarSettings> settings;
    std::shared_ptr<ZelvarLayout> layout;
    QString helpFile;
    // Whether the last duplicate check showed its list (an empty answer then means the user
    // closed it, not that the server knew no one).
    bool duplicatesShown = false;
};

// This thread's set.
References& references();

// The objects themselves; each raises "Object variable or With block variable not set" (91)
// when InitPatLookup has not set it on this thread.
HostLink& hostLink();
ZelvarUtils& utils();
ZelvarSettings& settings();
ZelvarLayout& layout();
QString helpFile();

// Whether a utilities object is there to report to (error handlers check before reporting).
bool hasUtils();

// The text between a returned row's columns: the settings' delimiter, or two U+00E7.
QString FieldDelimiter();

// The colour-table entry of a code letter ("A" is entry 1); Subscript out of range outside it.
QString colourTableEntry(QChar code);

// The host's colour table as one paint sees it: read at the paint's first cell that needs it
// and kept for the rest of that paint, instead of being asked for twice per cell. Outside a
// paint (serial 0) every entry is read anew.
class PaintColours
{
public:
    QString entry(QChar code, quint64 paintSerial);

private:
    QStringList m_table;
    quint64 m_serial = 0;
};

} // namespace zelvar::component
