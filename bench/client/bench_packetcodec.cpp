// Decoding and encoding a data packet of N rows shaped like cdsIndicadores (2 text + 6 number columns),
// from the wire bytes as gRPC hands them over.
#include "packetcodec.h"

#include <benchmark/benchmark.h>

namespace {

TDataPacket makePacket(int rows)
{
    TDataPacket p;
    p.fields = {{"CDAREAGERE", TFieldType::ftString, 5, false}, {"DTULTATUETL", TFieldType::ftString, 10, false}};
    for (const char* f : {"QTFILIAIS", "VRFATLIQGER", "CONSUMO", "MDO", "DESPESAS", "RESULTADO"})
        p.fields.append({f, TFieldType::ftFloat, 0, false});
    p.rows.reserve(rows);
    for (int r = 0; r < rows; ++r)
        p.rows.append({QStringLiteral("R%1").arg(r % 1000), QStringLiteral("02/03/2026"), double(r), r * 0.01, 40.5,
                       20.25, r % 7 ? QVariant(10.0) : QVariant(), 29.25});
    return p;
}

std::string wireBytes(int rows)
{
    kpd::rpc::Variant v;
    PacketCodec::EncodeVariant(QVariant::fromValue(makePacket(rows)), &v);
    return v.SerializeAsString();
}

void BM_ParseAndDecode(benchmark::State& state)
{
    const std::string bytes = wireBytes(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        kpd::rpc::Variant v;
        v.ParseFromString(bytes);
        QVariant packet = PacketCodec::DecodeVariant(v);
        benchmark::DoNotOptimize(packet);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ParseAndDecode)->Arg(10)->Arg(2000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_DecodeOnly(benchmark::State& state)
{
    kpd::rpc::Variant v;
    v.ParseFromString(wireBytes(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        QVariant packet = PacketCodec::DecodeVariant(v);
        benchmark::DoNotOptimize(packet);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DecodeOnly)->Arg(2000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_EncodeAndSerialize(benchmark::State& state)
{
    const QVariant packet = QVariant::fromValue(makePacket(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        kpd::rpc::Variant v;
        PacketCodec::EncodeVariant(packet, &v);
        std::string bytes = v.SerializeAsString();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_EncodeAndSerialize)->Arg(2000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
