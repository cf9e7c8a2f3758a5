#include "regioncode.h"

#include "presentation.h"
#include "wiretext.h"

namespace cockpit {

RegionCodeFault CheckRegionCode(const QString& text)
{
    // A blank at an end or a control character would make two codes that look alike, or one that cannot
    // be shown; one a spreadsheet takes for a formula would run on the machine of whoever opens it.
    if (text.isEmpty())
        return RegionCodeFault::Empty;
    if (WireText::HasControlCharacter(text))
        return RegionCodeFault::ControlCharacter;
    if (text.trimmed() != text)
        return RegionCodeFault::BlankAtAnEnd;
    if (::StartsLikeFormula(text))
        return RegionCodeFault::StartsLikeFormula;
    if (WireText::CharacterCount(text) > kRegionCodeLength)
        return RegionCodeFault::TooLong;
    return RegionCodeFault::None;
}

} // namespace cockpit
