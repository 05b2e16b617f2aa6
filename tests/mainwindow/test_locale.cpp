// The locale the program leaves whole: started under a locale the machine
// has, the C library keeps it (and with it UTF-8); under one it lacks, or C,
// the character type falls back to a UTF-8 locale the machine has; Qt's
// own texts are Chinese either way. The machine's locales are replaced by a
// folder of the test's own (LOCPATH).
#include "sandbox.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace kestova::test;

namespace {

// A compiled UTF-8 locale under name in folder: the machine's C.UTF-8 data
// under another name.
bool InstallLocale(const QString &folder, const QString &name)
{
    const QString compiled = QStringLiteral("/usr/lib/locale/C.utf8");
    return QFileInfo::exists(compiled + QStringLiteral("/LC_CTYPE"))
           && QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-r"), compiled, folder + u'/' + name}) == 0;
}

QMap<QString, QString> RunChild(const QString &lang, const QString &localePath)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &key : env.keys()) {
        if (key.startsWith(QStringLiteral("LC_")) || key == QStringLiteral("LANGUAGE"))
            env.remove(key);
    }
    env.insert(QStringLiteral("LANG"), lang);
    env.insert(QStringLiteral("LOCPATH"), localePath);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QString::fromLocal8Bit(qgetenv("LOCALE_CHILD")), {});
    EXPECT_TRUE(child.waitForFinished(30000));
    QMap<QString, QString> values;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    return values;
}

} // namespace

TEST(ProgramLocale, TheCLibraryKeepsAWholeUtf8LocaleAndQtSpeaksChinese)
{
    Sandbox box;
    const QString withEnglish = box.mkdir(QStringLiteral("english"));
    const QString withCUtf8 = box.mkdir(QStringLiteral("c"));
    if (!InstallLocale(withEnglish, QStringLiteral("en_US.UTF-8")) || !InstallLocale(withCUtf8, QStringLiteral("C.UTF-8")))
        GTEST_SKIP() << "the machine has no compiled C.UTF-8 locale to copy";

    const struct {
        const char *lang;
        QString locales;
        const char *codeset;
        const char *ctype;
        const char *time;
    } cases[] = {
        // English installed, Chinese not: the whole English locale stays,
        // dates included.
        {"en_US.UTF-8", withEnglish, "UTF-8", "en_US.UTF-8", "en_US.UTF-8"},
        // C: only the character type becomes the machine's UTF-8 locale.
        {"C", withCUtf8, "UTF-8", "C.UTF-8", "C"},
    };
    for (const auto &c : cases) {
        const QMap<QString, QString> got = RunChild(QString::fromLatin1(c.lang), c.locales);
        EXPECT_EQ(got.value(QStringLiteral("codeset")), QString::fromLatin1(c.codeset)) << c.lang;
        EXPECT_EQ(got.value(QStringLiteral("ctype")), QString::fromLatin1(c.ctype)) << c.lang;
        EXPECT_EQ(got.value(QStringLiteral("time")), QString::fromLatin1(c.time)) << c.lang;
        EXPECT_EQ(got.value(QStringLiteral("default")), QStringLiteral("zh_CN")) << c.lang;
    }
}
