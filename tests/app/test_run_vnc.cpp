// ./scripts/run without a display, as its user and a stranger on the same
// machine meet it: the VNC server asks for a password (RFB security type 2,
// VNC authentication, never None), refuses a wrong one and takes the one the
// script printed; a port outside 1-65535 is refused; and after SIGKILL of the
// script nothing of it is left, neither a process nor its folder.
//   test_run_vnc RUN_SCRIPT QUORVEL
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#define OPENSSL_SUPPRESS_DEPRECATED // DES: what VNC authentication is made of
#include <openssl/des.h>

#include <csignal>
#include <cstring>

namespace {

QString run_script, quorvel;

QProcessEnvironment Headless(const QString &tmp, const QString &port)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("TMPDIR"), tmp);
    env.insert(QStringLiteral("QUORVEL_VIEWER"), quorvel);
    env.insert(QStringLiteral("QUORVEL_VNC_PORT"), port);
    return env;
}

QByteArray Read(QTcpSocket &socket, qint64 size)
{
    while (socket.bytesAvailable() < size)
        if (!socket.waitForReadyRead(5000))
            return QByteArray();
    return socket.read(size);
}

// Logs in as a VNC client: the security types the server offers, and its
// verdict on `password` (0 accepted, 1 refused, -1 no verdict).
int Vnc_Login(quint16 port, const QByteArray &password, QByteArray &types)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000) || !Read(socket, 12).startsWith("RFB 003."))
        return -1;
    socket.write("RFB 003.008\n");
    const QByteArray count = Read(socket, 1);
    types = count.isEmpty() ? QByteArray() : Read(socket, quint8(count[0]));
    if (!types.contains('\x02'))
        return -1;
    socket.write("\x02", 1);
    const QByteArray challenge = Read(socket, 16);
    if (challenge.size() != 16)
        return -1;
    // The key is the password's first 8 bytes, each with its bits reversed.
    DES_cblock key = {};
    for (int i = 0; i < 8 && i < password.size(); ++i)
        for (int bit = 0; bit < 8; ++bit)
            if (quint8(password[i]) & (1 << bit))
                key[i] |= quint8(0x80 >> bit);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    QByteArray response(16, '\0');
    for (int block = 0; block < 16; block += 8) {
        DES_cblock in, out;
        std::memcpy(in, challenge.constData() + block, 8);
        DES_ecb_encrypt(&in, &out, &schedule, DES_ENCRYPT);
        std::memcpy(response.data() + block, out, 8);
    }
    socket.write(response);
    const QByteArray result = Read(socket, 4);
    return result.size() == 4 ? quint8(result[3]) : -1;
}

// A process's name, empty once it has ended (a zombie counts as ended).
QByteArray Running(const QByteArray &pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pid)));
    const QByteArray stat = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const qsizetype close = stat.lastIndexOf(')');
    return close < 0 || stat.mid(close + 2, 1) == "Z" ? QByteArray() : stat.mid(stat.indexOf('(') + 1, close - stat.indexOf('(') - 1);
}

} // namespace

class Test_Run_Vnc : public QObject {
    Q_OBJECT

private slots:
    void port_outside_the_range_is_refused_data()
    {
        QTest::addColumn<QString>("port");
        for (const char *port : {"0", "65536", "-1", "99999999999", "5900x"})
            QTest::newRow(port) << QString::fromLatin1(port);
    }

    void port_outside_the_range_is_refused()
    {
        QFETCH(QString, port);
        QTemporaryDir tmp;
        QProcess run;
        run.setProcessEnvironment(Headless(tmp.path(), port));
        run.start(run_script, {});
        QVERIFY(run.waitForFinished(20000));
        QCOMPARE(run.exitCode(), 1);
        QVERIFY(run.readAllStandardError().contains("QUORVEL_VNC_PORT"));
        QVERIFY(QDir(tmp.path()).isEmpty());
    }

    void only_the_password_opens_it_and_sigkill_leaves_nothing()
    {
        QTcpServer probe; // a free port
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();

        QTemporaryDir tmp;
        QProcess run;
        run.setProcessEnvironment(Headless(tmp.path(), QString::number(port)));
        run.start(run_script, {});
        QVERIFY(run.waitForStarted());
        QString said;
        QRegularExpressionMatch password;
        QTRY_VERIFY_WITH_TIMEOUT(
            (said += QString::fromUtf8(run.readAllStandardOutput()),
             (password = QRegularExpression(QStringLiteral("password: (\\S{8})\\n")).match(said)).hasMatch()),
            20000);
        QVERIFY2(said.contains(QStringLiteral("127.0.0.1:%1").arg(port)), qPrintable(said));

        QByteArray types;
        QCOMPARE(Vnc_Login(port, "wrong-pw", types), 1);
        QCOMPARE(types, QByteArray("\x02"));
        QCOMPARE(Vnc_Login(port, password.captured(1).toLatin1(), types), 0);

        // The X server and the viewer run below the script; SIGKILL of the
        // script takes them and the folder along.
        QList<QByteArray> children;
        QFile list(QStringLiteral("/proc/%1/task/%1/children").arg(run.processId()));
        QTRY_VERIFY_WITH_TIMEOUT((list.open(QIODevice::ReadOnly), children = list.readAll().split(' '), list.close(),
                                  std::any_of(children.begin(), children.end(),
                                              [](const QByteArray &pid) { return Running(pid) == "quorvel"; })),
                                 10000);
        QVERIFY(std::any_of(children.begin(), children.end(), [](const QByteArray &pid) { return Running(pid) == "Xvnc"; }));
        ::kill(pid_t(run.processId()), SIGKILL);
        QVERIFY(run.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(children.begin(), children.end(), [](const QByteArray &pid) { return Running(pid).isEmpty(); }),
            10000);
        QTRY_VERIFY_WITH_TIMEOUT(QDir(tmp.path()).isEmpty(), 5000);
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        QVERIFY(!socket.waitForConnected(2000));
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        qFatal("usage: test_run_vnc RUN_SCRIPT QUORVEL");
    run_script = QString::fromLocal8Bit(argv[1]);
    quorvel = QString::fromLocal8Bit(argv[2]);
    Test_Run_Vnc test;
    return QTest::qExec(&test, QStringList{QString::fromLocal8Bit(argv[0])});
}

#include "test_run_vnc.moc"
