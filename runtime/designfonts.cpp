#include "designfonts.h"

#include <QFont>
#include <QMetaProperty>
#include <QWidget>

void InstallFontSubstitutes()
{
    static const bool installed = [] {
        QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans")});
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
        return true;
    }();
    Q_UNUSED(installed);
}

namespace
{

void convert(QWidget* w)
{
    const QMetaObject* mo = w->metaObject();
    for (int i = 0; i < mo->propertyCount(); ++i) {
        const QMetaProperty prop = mo->property(i);
        if (prop.metaType().id() != QMetaType::QFont || !prop.isWritable())
            continue;
        QFont f = prop.read(w).value<QFont>();
        // Fonts already in pixels were inherited from a converted parent or set on purpose.
        if (f.pointSizeF() <= 0)
            continue;
        f.setPixelSize(qRound(f.pointSizeF() * 96.0 / 72.0));
        prop.write(w, QVariant::fromValue(f));
    }
}

} // namespace

void ApplyDesignFonts(QWidget* root)
{
    if (!root)
        return;
    // Parents before children, so that a child without a font of its own inherits the converted one.
    convert(root);
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* w : children)
        convert(w);
}
