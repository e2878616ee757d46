#include "app/form1.h"
#include "lookup/curlfunctions.h"
#include "results/resultslist.h"
#include "results/textexport.h"
#include "settings/settingsstore.h"
#include "support/form1fixture.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The program in poor surroundings: no curl, no working folder. Each is told once at start-up,
// lookups end as rows without a location, and the rest of the program works.
class TestSurroundings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lookupWithoutItsParts_data()
    {
        QTest::addColumn<bool>("withoutCurl");
        QTest::addColumn<QString>("named");
        QTest::newRow("curl missing") << true << "curl";
        QTest::newRow("working folder blocked") << false << "working folder";
    }

    void lookupWithoutItsParts()
    {
        QFETCH(bool, withoutCurl);
        QFETCH(QString, named);

        // The real clock, the desktop's own tray and tick; the window is made below.
        Form1Fixture w({.presets = {"StartStopState=Off", "APIKey=k"},
                        .loopback = false,
                        .muteTick = false,
                        .tray = std::nullopt,
                        .open = false});
        const QByteArray oldPath = qgetenv("PATH");
        QTemporaryDir emptyBin;
        if (withoutCurl) {
            qputenv("PATH", emptyBin.path().toLocal8Bit());
        } else {
            // A file where the private folder belongs: it cannot be made.
            QFile blocker(w.env.runtimeDir() + QStringLiteral("/trovanel"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }

        w.make();
        Form1 *form = w.form.get();
        CurlRunnerConfig quick;
        quick.pauseMs = 10;
        form->parts().lookup->runner().setConfig(quick);
        form->parts().lookup->runner().setServiceBase(QStringLiteral("http://127.0.0.1:9"));
        w.load();
        qputenv("PATH", oldPath);

        const QList<ErrorReport::Report> atStart = w.env.takeReports();
        QCOMPARE(atStart.size(), 1);
        QCOMPARE(atStart.first().procedure, QStringLiteral("Form_Load"));
        QCOMPARE(atStart.first().line, 176);
        QVERIFY2(atStart.first().description.contains(named),
                 qPrintable(atStart.first().description));

        // A log still adds its row, without a location and without another report.
        QSignalSpy logged(form->parts().lookup, &CurlFunctions::logFinished);
        w.click("PushButton9");
        QVERIFY(logged.wait(10000));
        QCOMPARE(form->parts().results->rows(), 1);
        for (int column = ResultsList::Country; column < ResultsList::ColumnCount; ++column)
            QVERIFY(form->parts().results->cell(0, column).isEmpty());
        QVERIFY(w.env.takeReports().isEmpty());

        // Settings and exports do not depend on either.
        w.widget<QLineEdit>("Text1")->setText(QStringLiteral("7"));
        QCOMPARE(form->parts().settings->get(SettingKeys::Text1), QStringLiteral("7"));
        form->parts().results->setData(form->parts().results->index(0, 0), Qt::Checked,
                                       Qt::CheckStateRole);
        w.click("PushButton5");
        QTRY_COMPARE(w.dialogs.notices.size(), 1);
        QVERIFY(QGuiApplication::clipboard()->text().endsWith(QStringLiteral("\r\n")));
        QVERIFY(w.env.takeReports().isEmpty());
    }
};

QTEST_MAIN(TestSurroundings)
#include "tst_surroundings.moc"
