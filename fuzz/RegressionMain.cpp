// Runs a fuzz target over every file of its corpus: the fuzzers' findings and
// seeds stay regression inputs of the ordinary test run.
#include <QDirIterator>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        QDirIterator it(QString::fromLocal8Bit(argv[i]), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            if (!f.open(QIODevice::ReadOnly)) return 2;
            const QByteArray data = f.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.constData()),
                                   static_cast<size_t>(data.size()));
            ++inputs;
        }
    }
    std::printf("%d inputs, no failure\n", inputs);
    return inputs > 0 ? 0 : 1;
}
