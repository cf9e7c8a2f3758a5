#include "packets.h"

#include "ckppackets.h"
#include "packetcodec.h"
#include "wireerror.h"

#include <algorithm>

namespace cockpit {

TDataPacket OptionalPacket(const TDataPacket& packet, const QVector<TPacketFieldDef>& layout, int required)
{
    const int count = required < 0 ? int(layout.size()) : std::min(required, int(layout.size()));
    for (int i = 0; i < count; ++i)
        if (packet.fieldIndex(layout[i].name) < 0)
            return TDataPacket{layout, {}};
    return packet;
}

CockpitPackets PacketsFromReply(const kpd::rpc::InvokeReply& reply)
{
    if (reply.result().kind_case() == kpd::rpc::Variant::kTextValue)
        throw WireError(QString::fromStdString(reply.result().text_value()));
    if (reply.result().kind_case() != kpd::rpc::Variant::kIntValue || reply.result().int_value() != 0)
        throw WireError(QStringLiteral("O servidor de aplicação não concluiu a consulta."));
    const auto& args = reply.args();
    if (args.size() != CkpPackets::kArgCount)
        throw WireError(QStringLiteral("A resposta de getCkpData não tem os %1 argumentos.").arg(CkpPackets::kArgCount));
    const auto packet = [&](int i) {
        if (args.Get(i).kind_case() != kpd::rpc::Variant::kPacketValue)
            throw WireError(QStringLiteral("A resposta de getCkpData não trouxe o pacote do argumento %1.").arg(i + 1));
        return PacketCodec::DecodePacket(args.Get(i).packet_value());
    };
    CockpitPackets out;
    const QVariant date = PacketCodec::DecodeVariant(args.Get(CkpPackets::kDateArg));
    out.month = date.toDateTime().date();
    if (!out.month.isValid())
        throw WireError(QStringLiteral("A resposta de getCkpData não trouxe a data de referência."));
    out.indicadores = packet(CkpPackets::kIndicadoresArg);
    out.top10 = packet(CkpPackets::kTop10Arg);
    out.bottom10 = packet(CkpPackets::kBottom10Arg);
    out.grafPizza = packet(CkpPackets::kGrafPizzaArg);
    out.diasEstoque = packet(CkpPackets::kDiasEstoqueArg);
    out.metas = OptionalPacket(packet(CkpPackets::kFirstEmptyArg), CkpPackets::Metas(), CkpPackets::kMetasFirstFields);
    out.comparacoes = OptionalPacket(packet(CkpPackets::kSecondEmptyArg), CkpPackets::Comparacoes(), CkpPackets::kComparacoesFirstFields);
    return out;
}

} // namespace cockpit
