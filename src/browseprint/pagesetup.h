#pragma once

#include <QDateTime>
#include <QPageSize>
#include <QString>

class QPrinter;
class QTextDocument;

namespace zelvar::browseprint {

// Where the user's page header and footer for printed pages are kept.
inline const QString kPageSetupKey = QStringLiteral("Software\\Microsoft\\Internet Explorer\\PageSetup");

// The user's page setup value "header" or "footer" as text (a number as its digits).
QString pageSetupValue(const QString& name);

// The page header and footer while a record window is open: prepare() keeps the user's own
// and puts the record's in place; restore() puts the user's back, once. Each is one
// transaction of the value store that waits for it at most its timeout: false when the store
// could not be had, and then nothing was changed (the user's own values stay, or come back at
// the next display).
class PageSetup
{
public:
    bool prepare(const QString& account);
    bool restore();
    bool prepared() const { return m_prepared; }

private:
    QString m_savedHeader;
    QString m_savedFooter;
    bool m_prepared = false;
};

// What the page-setup codes stand for on one page.
struct PageContext
{
    QDateTime now = QDateTime::currentDateTime();
    int page = 1;
    int pages = 1;
    QString title;      // &w
    QString url;        // &u
};

// A header or footer, split by "&b" into its left, centre and right parts, codes expanded:
// &d short date, &D long date, &t time, &T 24-hour time, &p page, &P page count, &w window
// title, &u address, && an ampersand.
struct PageLine
{
    QString left;
    QString centre;
    QString right;
};
PageLine expandPageCodes(const QString& codes, const PageContext& context);

// The paper a locale's printed pages use: Letter in the countries that print on it (the
// United States, Canada, Mexico, the Philippines and most of Central and South America's
// north), A4 elsewhere. `localeName` is a POSIX locale name ("en_US.UTF-8"); empty reads
// the environment as the C library does for paper (LC_ALL, then LC_PAPER, then LANG).
QPageSize::PageSizeId localPaper(QString localeName = {});

// A printer with no printer of its own (a PDF file) gets the locale's paper; one that is a
// real printer keeps the paper it was set up with.
void useLocalPaper(QPrinter& printer);

// Prints (or previews, on a preview's printer) the document with the header and footer on
// every page. The copy that is laid out for the page loads its pictures through
// resourceLoader, as the screen's document does (a QObject with an invokable
// loadResource(int, QUrl)).
void printRecord(const QTextDocument& document, QObject* resourceLoader, QPrinter& printer, const QString& header,
                 const QString& footer, const QString& title, const QString& url);

} // namespace zelvar::browseprint
