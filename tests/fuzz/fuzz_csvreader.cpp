// Any file as the import reads it: records until the end or the first refusal. An ImportError is a correct
// answer; a crash, a leak, undefined behaviour or a hang is a finding.
#include "csvreader.h"
#include "importerror.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    appserver::CsvReader reader(device, QStringLiteral("fuzz.csv"));
    QStringList fields;
    try {
        while (reader.next(fields)) {
        }
    } catch (const appserver::ImportError& e) {
        e.message();
    }
    return 0;
}
