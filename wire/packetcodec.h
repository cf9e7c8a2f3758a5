#pragma once

// Conversion between the wire messages of kpd.proto and Qt values. Used by the module's remote call client
// and by whoever speaks the same protocol (test servers, benchmarks): it exposes the generated protobuf
// types, so no public header of the runtime includes it.
//
// Mapping (QVariant <-> kpd.rpc.Variant):
//   null / invalid QVariant        <-> no kind set
//   bool                           <-> bool_value
//   int, uint, qlonglong, qulonglong -> int_value        (int_value decodes as qlonglong)
//   double, float                  <-> double_value
//   QString                        <-> text_value
//   QDateTime, QDate               <-> datetime_value   (decodes as a QDateTime, see below)
//   TDataPacket                    <-> packet_value     (only at the top level, never inside a row)
// A datetime_value is the host's date-time of daycount.h. It decodes to DayCount::toWallClock's QDateTime
// (Qt::UTC, no zone conversion, rounded to the millisecond); encoding takes the date and time of the
// QDateTime as they are. Whole days, the only dates the module
// sends, travel exactly. Values outside the years 1 to 9999 are refused.
//
// Decoding never trusts the wire: a row whose length differs from the field list, a cell whose kind does
// not fit its field's type, a packet inside a row, an unnamed or repeated field name, a negative size, a
// number that is not finite (NaN, ±Inf) anywhere in the reply or a date out of range raise WireError with a
// Portuguese message. Nothing is half decoded.

#include "datapacket.h"
#include "wireerror.h"

#include <QDateTime>
#include <QVariant>

#include "kpd.pb.h"

namespace PacketCodec {

// Throws WireError for a QVariant of a type the wire does not carry.
void EncodeVariant(const QVariant& value, kpd::rpc::Variant* out);
QVariant DecodeVariant(const kpd::rpc::Variant& value);

void EncodePacket(const TDataPacket& packet, kpd::rpc::DataPacket* out);
TDataPacket DecodePacket(const kpd::rpc::DataPacket& packet);

void EncodeFieldDef(const TPacketFieldDef& field, kpd::rpc::FieldDef* out);

kpd::rpc::FieldType ToWire(TFieldType type);
TFieldType FromWire(kpd::rpc::FieldType type); // unknown numbers give ftUnknown

// Host date-time <-> the wall-clock QDateTime described above. DateTimeFromWire throws WireError for a
// value that is not finite or lies outside the years 1 to 9999.
QDateTime DateTimeFromWire(double value);
double DateTimeToWire(const QDateTime& value);

} // namespace PacketCodec
