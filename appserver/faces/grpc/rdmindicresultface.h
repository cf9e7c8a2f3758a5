#pragma once

#include "ckppackets.h"
#include "remotedatamodule.h"

namespace appserver {

class RdmIndicResult;

/// rdmIndicResult as the desktop calls it, late-bound over gRPC.
///
/// getCkpData(date, 7 × out): argument 1 is the reference date (a date-time, or a plain double of the
/// same meaning) and comes back as the first day of its month; arguments 2, 3, 4, 5 and 8 come back
/// as the indicators, best 10, worst 10, pie and days-of-stock packets, 6 and 7 as empty packets.
/// The result is the integer 0, or a Portuguese message when the database failed.
class RdmIndicResultFace : public RemoteDataModule {
public:
    static constexpr int kCkpDataArgs = CkpPackets::kArgCount;

    explicit RdmIndicResultFace(const RdmIndicResult& module);

private:
    grpc::Status getCkpData(Invocation& call);
    // getRegionData(date, region text, 2 × out): the region's own row and its branches.
    grpc::Status getRegionData(Invocation& call);

    const RdmIndicResult& m_module;
};

} // namespace appserver
