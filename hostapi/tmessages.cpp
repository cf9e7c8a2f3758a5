#include "tmessages.h"

#include "presentation.h"

QString TMessages::Msg(const QString& key) const { return KeyedText(m_lines, key); }
