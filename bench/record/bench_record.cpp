// A record's XML through the join, the transformation with the default style sheet, the base
// element and the entity step into the browser: 50 KB and 1 MB records.
#include "benchmain.h"

#include "browseprint/recorddocument.h"
#include "platform/xslt.h"

#include <QTextBrowser>

using namespace zelvar;

namespace {

// Server replies of about `bytes` of record XML, in messages of 4 KB, and the end message.
QStringList recordReplies(int bytes)
{
    QString xml = QStringLiteral("<PatientRecord><Practice><Name>Riverside Family Practice</Name></Practice>"
                                 "<Patient><Account>100234</Account><Name><Last>SMITH</Last><First>JOHN</First></Name>"
                                 "<DOB>03/14/1962</DOB><SSN>123456789</SSN></Patient><Visits>");
    for (int i = 0; xml.size() < bytes; ++i) {
        xml += QStringLiteral("<Visit><Date>%1/%2/2026</Date><Provider>Dr. Patel &amp; Partners</Provider>"
                              "<Reason>Follow-up visit %3</Reason><Charges>145.00</Charges><Payments>120.00</Payments></Visit>")
                   .arg(i % 12 + 1, 2, 10, QLatin1Char('0'))
                   .arg(i % 28 + 1, 2, 10, QLatin1Char('0'))
                   .arg(i);
    }
    xml += QStringLiteral("</Visits><Balance><Total>25.00</Total></Balance></PatientRecord>");
    QStringList replies;
    for (qsizetype at = 0; at < xml.size(); at += 4096)
        replies.append(QStringLiteral("|OK||") + xml.mid(at, 4096));
    replies.append(QStringLiteral("|END|"));
    return replies;
}

void BM_RecordIntoBrowser(benchmark::State& state)
{
    const QStringList replies = recordReplies(int(state.range(0)));
    const QString folder = QStringLiteral(ZELVAR_DATA_DIR);
    QTextBrowser browser;
    for (auto _ : state) {
        const QString xml = browseprint::joinRecordReplies(replies);
        const platform::XsltResult html = platform::transformXml(xml, folder + QStringLiteral("/PR.xsl"), {folder});
        if (!html.ok) {
            state.SkipWithError(qPrintable(html.error));
            break;
        }
        browser.setHtml(browseprint::unescapeEntities(browseprint::insertBaseElement(html.output, folder)));
    }
    state.counters["record_KB"] = double(state.range(0)) / 1024.0;
}

// The transformation alone, in this process and in its own child process (as the window runs
// it): what shutting it in costs.
void BM_Transform(benchmark::State& state)
{
    const QString xml = browseprint::joinRecordReplies(recordReplies(int(state.range(0))));
    const QString folder = QStringLiteral(ZELVAR_DATA_DIR);
    const bool isolated = state.range(1) != 0;
    for (auto _ : state) {
        const platform::XsltResult html = isolated
            ? platform::transformXml(xml, folder + QStringLiteral("/PR.xsl"), {folder})
            : platform::transformXmlInProcess(xml, folder + QStringLiteral("/PR.xsl"), {folder});
        if (!html.ok) {
            state.SkipWithError(qPrintable(html.error));
            break;
        }
    }
    state.SetLabel(isolated ? "child process" : "in process");
}

} // namespace

BENCHMARK(BM_Transform)->ArgsProduct({{50 * 1024, 1024 * 1024}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordIntoBrowser)->Arg(50 * 1024)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond);

ZELVAR_BENCHMARK_MAIN()
