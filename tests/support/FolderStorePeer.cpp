// A second process on a FolderKeyValueStore folder, driven through stdin and stdout:
// prints "ready" once watching; "write KEY VALUE" stores VALUE and prints "written";
// every external change prints "changed KEY VALUE" (VALUE "<absent>" when removed).
// Ends at end of input.
#include "sync/FolderKeyValueStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <cstdio>

using namespace tessel;

namespace {

void printLine(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: tessel-folder-store-peer FOLDER\n", stderr);
        return 2;
    }
    FolderKeyValueStore store(QString::fromLocal8Bit(argv[1]));
    QObject::connect(&store, &FolderKeyValueStore::changedExternally, [&store](int, const QStringList &keys) {
        for (const QString &key : keys)
            printLine("changed " + key.toUtf8() + ' ' + store.data(key).value_or("<absent>"));
    });

    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return 1;
    QSocketNotifier notifier(0, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        const QByteArray line = input.readLine().trimmed();
        if (line.isEmpty() && input.atEnd()) {
            notifier.setEnabled(false);
            app.quit();
            return;
        }
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 3 && words[0] == "write") {
            store.setData(QString::fromUtf8(words[1]), words[2]);
            printLine("written");
        }
    });
    printLine("ready");
    return app.exec();
}
