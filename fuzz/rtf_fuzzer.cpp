// The start page's RTF reader on arbitrary bytes: it must neither crash nor hang, and the
// document it fills must hold what the reader produced.

#include "rtfreader.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QGuiApplication *app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "rtf_fuzzer";
        static char *argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    static_cast<void>(app);

    const QByteArray rtf(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const Quilo::RtfText text = Quilo::RtfReader::parse(rtf);
    for (const Quilo::RtfRun &run : text.runs) {
        if (run.format.halfPoints < 1 || run.format.halfPoints > Quilo::RtfReader::kMaxHalfPoints)
            std::abort();
        if (run.text.isEmpty())
            std::abort();
    }
    QTextDocument document;
    Quilo::RtfReader::fill(text, document);
    return 0;
}
