// SPDX-License-Identifier: MIT
// The window as a Japanese desktop starts it (LANGUAGE=ja): the program's words come from its
// catalogue and Qt's from Qt's, while the design's captions stay as designed. And the catalogue
// itself, as lupdate leaves it after reading today's sources: nothing left untranslated.
#include "ControlTable.h"
#include "FakeLink.h"
#include "Form1.h"
#include "Panel.h"
#include "Translations.h"
#include "VirtualClock.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QXmlStreamReader>

class TestJapanese : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(Translations::install()); }

    void window()
    {
        VirtualClock clock;
        FakeLink link;
        Panel panel(link, clock.factory());
        Form1 form(panel);
        QStringList boxes;
        form.setWarningBox([&](const QString &t, const QString &s) { boxes << t + '|' + s; });
        QVERIFY(panel.load());
        const auto get = [&](const char *name) {
            return form.findChild<QWidget *>(QLatin1String(name));
        };
        const QString caption = QString::fromUtf8(WindowCaption);

        link.missingPorts = {2};
        QTest::mouseClick(get("Command33"), Qt::LeftButton, {}, {4, 4});
        QTest::mouseClick(get("Option2"), Qt::LeftButton, {}, {4, 4});
        QCOMPARE(boxes,
                 QStringList{caption + QStringLiteral("|シリアルポート 2 (fake2) を開けません: "
                                                      "デバイスが存在しません。")});
        QCOMPARE(get("Command17")->toolTip(), QStringLiteral("C00 を送信します"));
        QCOMPARE(get("Command1")->toolTip(),
                 QStringLiteral("マウスで押している間 C09 を送信します"));
        QCOMPARE(get("Command17")->accessibleName(), QStringLiteral("電源オン"));
        link.unplug();
        QCOMPARE(form.windowTitle(), caption + QStringLiteral(" - ポート 1 (fake1) 切断"));

        // The design's own words, in every language.
        link.replug();
        QCOMPARE(form.windowTitle(), caption);
        for (const ControlRow &c : controlTable())
            if (auto *b = qobject_cast<QAbstractButton *>(get(c.name)))
                QCOMPARE(b->text(), QString::fromUtf8(c.caption));
    }

    void qtWords()
    {
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                 QStringLiteral("キャンセル"));
    }

    // Every message has a translation that is neither unfinished nor left over from a text
    // the sources no longer have.
    void catalogueIsComplete()
    {
        QStringList faults;
        for (const QString &path : QStringLiteral(CHECKED_CATALOGUES).split(u'|')) {
            QFile file(path);
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
            QXmlStreamReader xml(&file);
            QString context, source, where;
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement) continue;
                if (xml.name() == u"name") context = xml.readElementText();
                if (xml.name() == u"message") where.clear();
                if (xml.name() == u"location")
                    where =
                        QStringLiteral(" (%1:%2)")
                            .arg(QDir::cleanPath(QFileInfo(path).dir().filePath(
                                     xml.attributes().value(QLatin1String("filename")).toString())),
                                 xml.attributes().value(QLatin1String("line")));
                if (xml.name() == u"source") source = xml.readElementText();
                if (xml.name() == u"translation") {
                    const QString type = xml.attributes().value(QLatin1String("type")).toString();
                    if (!type.isEmpty() ||
                        xml.readElementText(QXmlStreamReader::IncludeChildElements)
                            .trimmed()
                            .isEmpty())
                        faults << QStringLiteral("%1 \"%2\"%3 %4")
                                      .arg(context, source, where,
                                           type.isEmpty() ? QStringLiteral("empty") : type);
                }
            }
            QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        }
        QVERIFY2(faults.isEmpty(),
                 qPrintable(QStringLiteral("\n%1\nTranslate them in translations/*.ts (after "
                                           "cmake --build --preset default --target "
                                           "update_translations).")
                                .arg(faults.join(u'\n'))));
    }
};

QTEST_MAIN(TestJapanese)
#include "tst_japanese.moc"
