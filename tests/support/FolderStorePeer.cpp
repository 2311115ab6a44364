// A second process on a FolderKeyValueStore folder (the only argument), driven through stdin
// and stdout: prints "ready" once watching; "write KEY VALUE" stores VALUE; every external
// change prints "changed KEY VALUE" (VALUE "<absent>" when removed). Ends at end of input.
#include "sync/FolderKeyValueStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <cstdio>

using namespace tessel;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QFile input;
    if (argc != 2 || !input.open(stdin, QIODevice::ReadOnly))
        return 2;
    const auto printLine = [](const QByteArray &line) {
        std::fputs(QByteArray(line + '\n').constData(), stdout);
        std::fflush(stdout);
    };
    FolderKeyValueStore store(QString::fromLocal8Bit(argv[1]));
    QObject::connect(&store, &FolderKeyValueStore::changedExternally, [&](int, const QStringList &keys) {
        for (const QString &key : keys)
            printLine("changed " + key.toUtf8() + ' ' + store.data(key).value_or("<absent>"));
    });
    QSocketNotifier notifier(0, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        const QList<QByteArray> words = input.readLine().trimmed().split(' ');
        if (words.size() == 3 && words[0] == "write")
            store.setData(QString::fromUtf8(words[1]), words[2]);
        else if (input.atEnd())
            app.quit();
    });
    printLine("ready");
    return app.exec();
}
