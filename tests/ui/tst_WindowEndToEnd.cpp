#include "support/DataRow.h"
#include "support/DemoGatewayProcess.h"
#include "support/ModelHarness.h"
#include "support/TestFiles.h"
#include "support/TestWindow.h"
#include "ui/PlatformMessageFilter.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

constexpr int timeoutMs = 15000;
const QString gatewayToken = u"window-e2e-token"_s;

// Files edited through the window against a real tessel-demo-gateway process over a
// temporary project: saved byte for byte as opened, changed only by the edit.
class tst_WindowEndToEnd : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    test::DemoGatewayProcess m_gateway;
    std::optional<test::ModelHarness> m_harness;
    std::optional<test::TestWindow> m_window;
    TesselDesktopPOCModel *m_model = nullptr;

    // The document badge and the enabled save button, as "Saved" or "Unsaved save".
    QString saveState() const
    {
        return m_window->documentBadge() + (m_window->control("files-save-button")->isEnabled() ? " save"_L1 : ""_L1);
    }

private Q_SLOTS:
    void initTestCase()
    {
        installPlatformMessageFilter();
        QVERIFY2(m_gateway.start({u"--root"_s, m_root.path(), u"--token"_s, gatewayToken, u"--no-env-file"_s,
                                  u"--delta-interval-ms"_s, u"2"_s}),
                 qPrintable(m_gateway.errorText()));
    }
    void init()
    {
        m_model = &m_harness.emplace().start();
        m_window.emplace(*m_model);
        QVERIFY(QTest::qWaitForWindowExposed(&*m_window));
        // Typed over each field's whole text, as a user replacing it does.
        for (const auto &[field, text] : {std::pair{"machine-gateway-url-field", m_gateway.url().toString()},
                                          {"machine-token-field", gatewayToken},
                                          {"project-directory-field", m_root.path()}}) {
            auto *edit = m_window->control<QLineEdit>(field);
            edit->setFocus();
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Backspace);
            QTest::keyClicks(edit, text);
        }
    }
    void cleanup()
    {
        m_window.reset();
        m_harness.reset();
    }

    void savesTheOpenedBytesChangedOnlyByTheEdit_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("newline"); // what Return adds
        test::row("CRLF, BOM, no final newline", QByteArray("\xEF\xBB\xBFone\r\ntwo\r\nthree"), QByteArray("\r\n"));
        test::row("CR, no-break spaces, tabs", QByteArray("a\xC2\xA0" "b\tc\rd\xC2\xA0\xC2\xA0\r"), QByteArray("\r"));
        test::row("U+2028, U+2029 among LF", QByteArray("a\xE2\x80\xA8" "b\nc\xE2\x80\xA9" "d\n"), QByteArray("\n"));
    }

    // Opening marks nothing Unsaved; a save writes the bytes that were opened plus the edit
    // ("X", Return, "Y" at the end).
    void savesTheOpenedBytesChangedOnlyByTheEdit()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, newline);
        QVERIFY(test::writeFile(m_root.filePath(u"file.txt"_s), bytes));
        m_window->pickTab("workspace-picker", 1);
        QVERIFY(m_window->openListedFile(u"file.txt"_s, timeoutMs));
        QCOMPARE(saveState(), u"Saved"_s);
        auto *editor = m_window->control<QPlainTextEdit>("files-editor");
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(editor, u"X"_s);
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClicks(editor, u"Y"_s);
        QCOMPARE(saveState(), u"Unsaved save"_s);
        QSignalSpy saved(m_model, &TesselDesktopPOCModel::saveFinished);
        m_window->click("files-save-button");
        QVERIFY(saved.wait(timeoutMs));
        QCOMPARE(m_model->fileErrorMessage(), std::nullopt);
        QCOMPARE(saveState(), u"Saved"_s);
        QCOMPARE(test::readFile(m_root.filePath(u"file.txt"_s)), bytes + "X" + newline + "Y");
    }
};

} // namespace tessel

QTEST_MAIN(tessel::tst_WindowEndToEnd)
#include "tst_WindowEndToEnd.moc"
