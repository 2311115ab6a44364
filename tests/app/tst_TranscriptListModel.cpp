#include "app/TranscriptListModel.h"
#include "support/DataRow.h"
#include "support/LoopbackGatewayServer.h"
#include "support/ModelHarness.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QTest>
#include <QWebSocket>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

class tst_TranscriptListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mergesFollowTheMatchingRule_data();
    void mergesFollowTheMatchingRule();
    void indexedMergesMatchTheLinearRuleOnRandomStreams();
    void accessibleTextNamesToolRowsAndCutsHugeItems();
    void nothingStreamsOnceTheConnectionEnds_data();
    void nothingStreamsOnceTheConnectionEnds();
};

namespace {

QStringList bodies(const TranscriptListModel &model)
{
    QStringList result;
    for (const auto &item : model.items())
        result << item.body;
    return result;
}

// Items compared by what they show; each item's own id is random.
QList<DesktopTranscriptItem> withoutIds(QList<DesktopTranscriptItem> items)
{
    for (DesktopTranscriptItem &item : items)
        item.id = QUuid();
    return items;
}

// The matching rule as a plain search from the oldest item.
std::optional<qsizetype> linearMatch(const QList<DesktopTranscriptItem> &items, DesktopTranscriptRole role,
                                     const std::optional<QString> &id)
{
    for (qsizetype row = 0; row < items.size(); ++row) {
        if (items[row].role == role && items[row].sourceItemID == id)
            return row;
    }
    return std::nullopt;
}

} // namespace

void tst_TranscriptListModel::mergesFollowTheMatchingRule_data()
{
    // Each step is "kind|id|text": d a delta, f a completion, t+ / t- a running / finished tool
    // event, r a replacement by an empty transcript; the id "-" is absent. `streaming` has one digit per item.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("streaming");
    test::row("completion replaces the streamed text",
              QStringList{u"d|a|Hel"_s, u"d|a|lo"_s, u"f|a|Hello."_s, u"d|a|"_s}, QStringList{u"Hello."_s}, u"0"_s);
    test::row("empty completion keeps it", QStringList{u"d|a|partial"_s, u"f|a|"_s}, QStringList{u"partial"_s}, u"0"_s);
    test::row("completion of an unknown id adds an item", QStringList{u"d|a|one"_s, u"f|b|two"_s, u"f|c|"_s},
              QStringList{u"one"_s, u"two"_s, QString()}, u"100"_s);
    test::row("an empty id is not an absent one", QStringList{u"f|-|old"_s, u"d||x"_s, u"d|-| more"_s},
              QStringList{u"old more"_s, u"x"_s}, u"11"_s);
    test::row("tool phases update one item", QStringList{u"t+|t1|Started: ls"_s, u"d|t1|text"_s, u"t-|t1|Done: ls"_s},
              QStringList{u"Done: ls"_s, u"text"_s}, u"01"_s);
    test::row("a replacement forgets the old ids", QStringList{u"d|a|old"_s, u"r||"_s, u"d|a|new"_s},
              QStringList{u"new"_s}, u"1"_s);
}

void tst_TranscriptListModel::mergesFollowTheMatchingRule()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);
    QFETCH(QString, streaming);
    TranscriptListModel model;
    for (const QString &step : steps) {
        const QStringList parts = step.split(u'|');
        const std::optional<QString> id = parts[1] == "-"_L1 ? std::nullopt : std::optional(parts[1]);
        if (parts[0] == "d"_L1)
            model.appendAssistantDelta(parts[2], id, u"Codex"_s);
        else if (parts[0] == "f"_L1)
            model.finalizeAssistantMessage(parts[2], id, u"Codex"_s);
        else if (parts[0] == "r"_L1)
            model.replaceAll({});
        else
            model.upsertToolEvent(parts[2], parts[0] == "t+"_L1, id);
    }
    QCOMPARE(bodies(model), expected);
    QString flags;
    for (const auto &item : model.items())
        flags += item.isStreaming ? u'1' : u'0';
    QCOMPARE(flags, streaming);
}

void tst_TranscriptListModel::indexedMergesMatchTheLinearRuleOnRandomStreams()
{
    QRandomGenerator random(42);
    const QList<std::optional<QString>> ids = {std::nullopt, u""_s, u"a"_s, u"b"_s, u"c"_s};
    for (int round = 0; round < 50; ++round) {
        TranscriptListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QList<DesktopTranscriptItem> expected;
        for (int step = 0; step < 200; ++step) {
            const auto id = ids[random.bounded(int(ids.size()))];
            const QString text = random.bounded(5) == 0 ? QString() : QString::number(step);
            const int operation = random.bounded(5);
            const auto role = operation == 3 ? DesktopTranscriptRole::tool : DesktopTranscriptRole::assistant;
            const auto match = linearMatch(expected, role, id);
            // Applies the step to the expected list: a new item, or `update` on the matched body.
            const auto upsert = [&](const QString &title, bool streaming, auto update) {
                if (!match)
                    return expected.append(
                        {.role = role, .title = title, .body = text, .isStreaming = streaming, .sourceItemID = id});
                update(expected[*match].body);
                expected[*match].isStreaming = streaming;
            };
            const bool running = step % 2 == 0;
            if (operation <= 1) {
                model.appendAssistantDelta(text, id, u"Codex"_s);
                if (!text.isEmpty())
                    upsert(u"Codex"_s, true, [&](QString &body) { body += text; });
            } else if (operation == 2) {
                model.finalizeAssistantMessage(text, id, u"Codex"_s);
                upsert(u"Codex"_s, false, [&](QString &body) { body = text.isEmpty() ? body : text; });
            } else if (operation == 3) {
                model.upsertToolEvent(text, running, id);
                upsert(u"Tool"_s, running, [&](QString &body) { body = text; });
            } else {
                model.append(DesktopTranscriptItem::system(text));
                expected.append(
                    {.role = DesktopTranscriptRole::system, .title = u"System"_s, .body = text, .sourceItemID = {}});
            }
            QCOMPARE(model.items().size(), expected.size());
        }
        QCOMPARE(withoutIds(model.items()), withoutIds(expected));
    }
}

// The view's test checks the reply and message rows; here tool rows and huge items.
void tst_TranscriptListModel::accessibleTextNamesToolRowsAndCutsHugeItems()
{
    TranscriptListModel model;
    model.upsertToolEvent(u"Finished: ls"_s, false, u"t"_s);
    model.append(DesktopTranscriptItem::system(u"x"_s.repeated(200'000)));
    QCOMPARE(model.data(model.index(0), Qt::AccessibleDescriptionRole).toString(), u"Tool activity"_s);
    const QString cut = model.data(model.index(1), Qt::AccessibleTextRole).toString();
    QCOMPARE(cut.size(), TranscriptListModel::maxAccessibleTextLength);
    QVERIFY(cut.endsWith(QChar(0x2026)));
}

void tst_TranscriptListModel::nothingStreamsOnceTheConnectionEnds_data()
{
    QTest::addColumn<QString>("end");
    test::row("gateway closes", "close");
    test::row("socket drops", "abort");
    test::row("user disconnects", "disconnect");
    test::row("reconnect replaces the client", "reconnect");
}

// A reply and a tool run are streaming when the connection ends; nothing may go on saying so.
void tst_TranscriptListModel::nothingStreamsOnceTheConnectionEnds()
{
    QFETCH(QString, end);
    test::ModelHarness harness;
    test::LoopbackGatewayServer server;
    QVERIFY(server.listen());
    server.setAnswersHello(true);
    TesselDesktopPOCModel &model = harness.start();
    model.updateSelectedProjectDirectory(u"/srv/app"_s);
    QVERIFY(harness.connectTo(server));
    QWebSocket *socket = server.sockets().last();
    socket->sendTextMessage(uR"({"type":"assistant_delta","itemId":"r1","delta":"partial"})"_s);
    socket->sendTextMessage(uR"({"type":"tool_event","itemId":"t1","toolName":"shell","phase":"started"})"_s);
    const auto streaming = [&model] { return test::transcriptLines(model).join(u'\n').count(u" …"_s); };
    QTRY_COMPARE_WITH_TIMEOUT(streaming(), 2, 5000);

    if (end == "close"_L1)
        socket->close();
    else if (end == "abort"_L1)
        socket->abort();
    else if (end == "disconnect"_L1)
        model.resetLiveSessionState(true, u"Disconnected."_s, true, u"Disconnected."_s);
    else
        model.connect();
    QTRY_VERIFY_WITH_TIMEOUT(!model.connectionState().is(ConnectionState::Kind::connected), 5000);
    QCOMPARE(streaming(), 0);
    if (model.connectionState().is(ConnectionState::Kind::failed))
        QVERIFY(bodies(*model.transcript()).contains(u"partial"_s));
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_TranscriptListModel)
#include "tst_TranscriptListModel.moc"
