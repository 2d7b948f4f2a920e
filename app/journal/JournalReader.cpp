#include "app/journal/JournalReader.h"

#include "journal/JournalUrl.h"
#include "journal/Station.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QUrl>
#include <QUrlQuery>

namespace lorimet::journalwindow {
namespace {

// A server that does not answer is given up after a few seconds: the window then shows the local journal.
QString withConnectTimeout(const QString& url) {
    QUrl u(url);
    QUrlQuery query(u);
    if (!query.hasQueryItem(QStringLiteral("connect_timeout")))
        query.addQueryItem(QStringLiteral("connect_timeout"), QStringLiteral("3"));
    u.setQuery(query);
    return u.toString(QUrl::FullyEncoded);
}

} // namespace

JournalReader::JournalReader(QString dataFolder, QString url, QObject* receiver,
                             std::function<void(const JournalSource&)> opened)
    : dataFolder_(std::move(dataFolder)), receiver_(receiver) {
    QString error;
    const QString wanted = url.isEmpty() ? journal::loadStation(dataFolder_).url : url;
    std::optional<journal::JournalUrl> local =
        journal::parseJournalUrl(journal::kDefaultJournalUrl, dataFolder_, error);
    if (!wanted.isEmpty()) {
        const auto given = journal::parseJournalUrl(wanted, dataFolder_, error);
        if (given && given->kind == journal::JournalUrl::Kind::Postgresql)
            server_ = given->connection;
        else if (given)
            local = given;
    }
    const QString localPath = local ? local->path : QString();
    thread_.setObjectName(QStringLiteral("journal reader"));
    context_ = new QObject;
    context_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, context_, &QObject::deleteLater);
    thread_.start();
    run([this, localPath, opened = std::move(opened)](journal::Store*) {
        JournalSource source;
        QString why;
        if (!server_.isEmpty()) {
            store_ = journal::Store::openServer(withConnectTimeout(server_), false, why);
            if (store_) {
                source = {QStringLiteral("Журнал лаборатории: сервер %1")
                              .arg(QUrl(server_).host().isEmpty() ? server_ : QUrl(server_).host()),
                          true, true, QString()};
            } else {
                source.problem = QStringLiteral("Сервер журнала недоступен: ") + why;
            }
        }
        if (!store_) {
            if (QFileInfo::exists(localPath))
                store_ = journal::Store::openExisting(localPath, why);
            source.description = QStringLiteral("Журнал этого компьютера: ") + localPath;
            source.open = store_ != nullptr;
            if (!store_ && !QFileInfo::exists(localPath))
                source.problem += (source.problem.isEmpty() ? QString() : QStringLiteral("; ")) +
                                  QStringLiteral("в журнале этого компьютера ещё нет записей");
            else if (!store_)
                source.problem += (source.problem.isEmpty() ? QString() : QStringLiteral("; ")) + why;
        }
        post([opened, source] { opened(source); });
    });
}

JournalReader::~JournalReader() {
    stop();
}

void JournalReader::stop() {
    if (!thread_.isRunning())
        return;
    // The store closes its connection on the thread that opened it, after the jobs already asked for.
    QMetaObject::invokeMethod(
        context_, [this] { store_.reset(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void JournalReader::run(std::function<void(journal::Store*)> job) {
    QMetaObject::invokeMethod(
        context_, [this, job = std::move(job)] { job(store_.get()); }, Qt::QueuedConnection);
}

void JournalReader::post(std::function<void()> then) {
    QMetaObject::invokeMethod(receiver_, std::move(then), Qt::QueuedConnection);
}

} // namespace lorimet::journalwindow
