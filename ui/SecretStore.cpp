#include "ui/SecretStore.h"

#include <qt6keychain/keychain.h>

#include <QObject>

namespace vxk {
namespace {

SecretStore::Result ResultOf(const QKeychain::Job& job) {
  switch (job.error()) {
    case QKeychain::NoError:
      return SecretStore::Result::Ok;
    case QKeychain::EntryNotFound:
      return SecretStore::Result::NotFound;
    default:
      // No backend, no session bus, access refused: to the user all the same, nothing kept.
      return SecretStore::Result::NoKeyring;
  }
}

}  // namespace

void KeyringStore::Read(const QString& entry, QObject* context, ReadDone done) {
  auto* job = new QKeychain::ReadPasswordJob(QString::fromLatin1(kService));
  job->setInsecureFallback(false);
  job->setAutoDelete(true);
  job->setKey(entry);
  QObject::connect(job, &QKeychain::Job::finished, context, [done](QKeychain::Job* j) {
    const auto* read = static_cast<QKeychain::ReadPasswordJob*>(j);
    const Result result = ResultOf(*read);
    done(result, result == Result::Ok ? read->textData() : QString());
  });
  job->start();
}

void KeyringStore::Write(const QString& entry, const QString& key, QObject* context,
                         WriteDone done) {
  auto* job = new QKeychain::WritePasswordJob(QString::fromLatin1(kService));
  job->setInsecureFallback(false);
  job->setAutoDelete(true);
  job->setKey(entry);
  job->setTextData(key);
  QObject::connect(job, &QKeychain::Job::finished, context,
                   [done](QKeychain::Job* j) { done(ResultOf(*j)); });
  job->start();
}

}  // namespace vxk
