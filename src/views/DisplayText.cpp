#include "views/DisplayText.h"

#include <QStringDecoder>

QString NameText(std::string_view name)
{
    return name.empty() ? QString::fromLatin1(kNoNameText) : DisplayText(name);
}

QString DisplayText(std::string_view bytes)
{
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(view);
    if (utf8.hasError())
        text = QString::fromLatin1(view);
    for (QChar& c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    }
    // Embeddings, overrides and isolates would let a sender reorder what
    // follows them ("exe.png" shown for "gnp.exe"): dropped, so every text
    // shows in the order its bytes have.
    text.removeIf([](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
    });
    return text;
}
