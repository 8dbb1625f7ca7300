// SPDX-License-Identifier: MIT
#include "ui/JapaneseReason.h"

#include <QLocale>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <locale.h>

namespace {

// Where no Japanese message catalog of the C library is installed (a minimal
// system has none), the errno values users meet with files and programs.
QString OwnWording(int error)
{
    switch (error) {
    case ENOENT: return QStringLiteral("そのようなファイルやディレクトリはありません");
    case EACCES: return QStringLiteral("アクセスが拒否されました");
    case EPERM: return QStringLiteral("操作は許可されていません");
    case EROFS: return QStringLiteral("読み込み専用のファイルシステムです");
    case ENOSPC: return QStringLiteral("デバイスに空き領域がありません");
    case EDQUOT: return QStringLiteral("ディスク使用量の制限を超えました");
    case ENOMEM: return QStringLiteral("メモリが足りません");
    case EISDIR: return QStringLiteral("ディレクトリです");
    case ENOTDIR: return QStringLiteral("ディレクトリではありません");
    case ENAMETOOLONG: return QStringLiteral("ファイル名が長すぎます");
    case ELOOP: return QStringLiteral("シンボリックリンクの階層が多すぎます");
    case EIO: return QStringLiteral("入出力エラーが発生しました");
    case EEXIST: return QStringLiteral("ファイルが既に存在します");
    case EBUSY: return QStringLiteral("デバイスまたはリソースが使用中です");
    case ETXTBSY: return QStringLiteral("テキストファイルが使用中です");
    case EFBIG: return QStringLiteral("ファイルが大きすぎます");
    case EMFILE:
    case ENFILE: return QStringLiteral("開いているファイルが多すぎます");
    case ENXIO: return QStringLiteral("そのようなデバイスやアドレスはありません");
    case EAGAIN: return QStringLiteral("リソースが一時的に利用できません");
    case ENOEXEC: return QStringLiteral("実行形式のエラーです");
    case EXDEV: return QStringLiteral("別のデバイスをまたぐリンクです");
    case ESTALE: return QStringLiteral("古いファイルハンドルです");
    default: return {};
    }
}

// The C library's own Japanese, when its catalog is installed: the text in a
// Japanese locale differs from the untranslated one.
QString CatalogWording(int error)
{
    static const locale_t japanese = [] {
        for (const char* name : {"ja_JP.UTF-8", "ja_JP.utf8"})
            if (locale_t l = ::newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, name, locale_t(0)))
                return l;
        return locale_t(0);
    }();
    static const locale_t plain = ::newlocale(LC_ALL_MASK, "C", locale_t(0));
    if (!japanese || !plain)
        return {};
    const QString translated = QString::fromUtf8(::strerror_l(error, japanese));
    return translated == QString::fromUtf8(::strerror_l(error, plain)) ? QString() : translated;
}

QString Number(qint64 n)
{
    return QLocale(QLocale::Japanese).toString(n);
}

QString DamageWording(const Outcome& o)
{
    const auto& v = o.Values();
    switch (o.DamageKind()) {
    case Damage::DatabaseEmpty: return QStringLiteral("ファイルが空です");
    case Damage::DatabaseTooLong:
        return QStringLiteral("ファイルが %1 バイトあり、どのデータベースよりも長すぎます（最大 %2 バイト）")
            .arg(Number(v[0]), Number(v[1]));
    case Damage::DatabaseGrew: return QStringLiteral("読み込み中にファイルがデータベースの最大の長さを超えました");
    case Damage::DatabaseEndsEarly: return QStringLiteral("最後の区切りの前でファイルが終わっています");
    case Damage::DatabaseGlyphFirst: return QStringLiteral("最初の区切りの前に文字があります");
    case Damage::DatabaseNotDoubleByte:
        return QStringLiteral("スロット %1 のコード 0x%2 は全角文字ではありません").arg(v[0]).arg(v[1], 0, 16);
    case Damage::DatabaseRepeatedCode:
        return QStringLiteral("スロット %1 でコード 0x%2 が重複しています").arg(v[0]).arg(v[1], 0, 16);
    case Damage::PictureEndsEarly: return QStringLiteral("最後の行の前で画像のデータが終わっています");
    case Damage::PictureCorrupt: return QStringLiteral("画像のデータが壊れています");
    case Damage::None: break;
    }
    return QStringLiteral("ファイルが壊れています");
}

} // namespace

QString JapaneseErrnoText(int error)
{
    if (QString catalog = CatalogWording(error); !catalog.isEmpty())
        return catalog;
    if (QString own = OwnWording(error); !own.isEmpty())
        return own;
    return QStringLiteral("エラー %1（%2）").arg(error).arg(ErrnoText(error));
}

QString JapaneseReason(const Outcome& o)
{
    const auto& v = o.Values();
    switch (o.Kind()) {
    case FailureKind::None: return {};
    case FailureKind::System: return JapaneseErrnoText(o.Errno());
    case FailureKind::NotRegular:
        return v[0] == 1 ? QStringLiteral("ディレクトリです") : QStringLiteral("通常のファイルではありません");
    case FailureKind::Damaged: return DamageWording(o);
    case FailureKind::TooLarge:
        return QStringLiteral("%1 × %2 ピクセルには %3 MB のメモリが必要です。扱えるのは %4 MB までです")
            .arg(v[0])
            .arg(v[1])
            .arg(Number(v[2]), Number(v[3]));
    case FailureKind::NoMemory:
        return v[0] > 0 ? QStringLiteral("%1 × %2 の画像を置くメモリが足りません").arg(v[0]).arg(v[1])
                        : QStringLiteral("メモリが足りません");
    case FailureKind::NoFont:
        return o.Path().isEmpty() ? QStringLiteral("フォントファイルが見つかりません")
                                  : QStringLiteral("フォントとして読み込めません");
    case FailureKind::NoHome:
        return QStringLiteral("データベースを置くホームディレクトリがありません"
                              "（HOME が設定されておらず、パスワードデータベースにも登録がありません）");
    case FailureKind::Unreadable: break;
    }
    // Only a library's own words are known; better shown than hidden.
    return QStringLiteral("読み込めません（%1）").arg(o.Reason());
}

QString JapaneseMessage(const Outcome& o)
{
    const QString reason = JapaneseReason(o);
    return o.Path().isEmpty() ? reason : o.Path() + QStringLiteral(": ") + reason;
}
