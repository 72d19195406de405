#pragma once

#include <QString>
#include <functional>

class QObject;

namespace vxk {

// Where the Connect dialog keeps the keys of TCP links between runs. Answers come later, on
// the window thread, and only while context lives.
class SecretStore {
 public:
  enum class Result {
    Ok,
    NotFound,   // the keyring runs but holds no key under that name
    NoKeyring,  // no keyring answered: nothing is kept
  };
  using ReadDone = std::function<void(Result result, const QString& key)>;
  using WriteDone = std::function<void(Result result)>;

  virtual ~SecretStore() = default;
  virtual void Read(const QString& entry, QObject* context, ReadDone done) = 0;
  virtual void Write(const QString& entry, const QString& key, QObject* context,
                     WriteDone done) = 0;
};

// The desktop keyring (the Secret Service, or KWallet) through QtKeychain, under the service
// "vx.keeper Tool". Its fallback to a plain settings file is off: where no keyring runs, a key
// is not kept at all.
class KeyringStore : public SecretStore {
 public:
  static constexpr const char* kService = "vx.keeper Tool";

  void Read(const QString& entry, QObject* context, ReadDone done) override;
  void Write(const QString& entry, const QString& key, QObject* context, WriteDone done) override;
};

}  // namespace vxk
