// Bytes from the wire as the client reads them: parsed as an InvokeReply, then every variant decoded as
// TRemoteCallClient decodes it. A refusal (WireError) is a correct answer; anything else the sanitizers or
// libFuzzer catch (a crash, a leak, undefined behaviour, a hang) is a finding.
#include "packetcodec.h"
#include "wiretext.h"

#include <cstddef>
#include <cstdint>

#include <google/protobuf/stubs/logging.h>

#include "kpd.pb.h"

// Protobuf logs every string that is not UTF-8 it refuses to parse; that is an answer, not news.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    google::protobuf::SetLogHandler(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kpd::rpc::InvokeReply reply;
    if (!reply.ParseFromArray(data, static_cast<int>(size)))
        return 0;
    try {
        PacketCodec::DecodeVariant(reply.result());
        for (const kpd::rpc::Variant& arg : reply.args())
            PacketCodec::DecodeVariant(arg);
    } catch (const WireError& e) {
        // Refusals are shown to the user: their text must survive escaping.
        WireText::Printable(e.Message());
    }
    return 0;
}
