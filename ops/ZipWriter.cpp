#include "ops/ZipWriter.h"

#include <zip.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "ops/LocalFiles.h"
#include "ops/LocalFolder.h"

namespace vxk {
namespace {

// An entry's bytes with the modification time libzip takes for the entry: libzip stores the
// time its source reports and derives the password check byte from it, so both must come
// from here.
struct MemorySource {
  std::string data;
  time_t mtime = 0;
  size_t offset = 0;
  zip_error_t error;
};

zip_int64_t MemorySourceCallback(void* state, void* out, zip_uint64_t length,
                                 zip_source_cmd_t command) {
  auto* source = static_cast<MemorySource*>(state);
  switch (command) {
    case ZIP_SOURCE_OPEN:
      source->offset = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      const size_t left = source->data.size() - source->offset;
      const size_t n = length < left ? static_cast<size_t>(length) : left;
      if (n) std::memcpy(out, source->data.data() + source->offset, n);
      source->offset += n;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = static_cast<zip_stat_t*>(out);
      zip_stat_init(st);
      st->size = source->data.size();
      st->mtime = source->mtime;
      st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&source->error, out, length);
    case ZIP_SOURCE_FREE:
      zip_error_fini(&source->error);
      delete source;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                            ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

// The local time of a packed DOS date-time; the current time for 0 or a value that makes no
// date.
time_t DosToTime(uint32_t dos) {
  if (dos != 0) {
    std::tm fields{};
    fields.tm_year = static_cast<int>(dos >> 25) + 80;
    fields.tm_mon = static_cast<int>((dos >> 21) & 0x0F) - 1;
    fields.tm_mday = static_cast<int>((dos >> 16) & 0x1F);
    fields.tm_hour = static_cast<int>((dos >> 11) & 0x1F);
    fields.tm_min = static_cast<int>((dos >> 5) & 0x3F);
    fields.tm_sec = static_cast<int>(dos & 0x1F) * 2;
    fields.tm_isdst = -1;
    if (fields.tm_mon >= 0 && fields.tm_mon < 12 && fields.tm_mday >= 1 && fields.tm_hour < 24 &&
        fields.tm_min < 60 && fields.tm_sec < 60) {
      const time_t t = std::mktime(&fields);
      if (t != static_cast<time_t>(-1)) return t;
    }
  }
  return std::time(nullptr);
}

}  // namespace

ZipWriter::ZipWriter(const std::string& path) : path_(path) {
  const std::filesystem::path target(path);
  const std::string folder = target.parent_path().string();
  try {
    folder_ = std::make_unique<LocalFolder>(
        LocalFolder::Chosen(folder.empty() ? std::string(".") : folder, false));
  } catch (const LocalFileError& e) {
    throw ZipError("Cannot create " + path + ": " + e.what());
  }
  zip_error_t error;
  zip_error_init(&error);
  buffer_ = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (buffer_) archive_ = zip_open_from_source(buffer_, ZIP_TRUNCATE, &error);
  if (!archive_) {
    const std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    if (buffer_) zip_source_free(buffer_);
    throw ZipError("Cannot create " + path + ": " + text);
  }
  zip_error_fini(&error);
  // The archive owns the source now; one more reference keeps its bytes after zip_close.
  zip_source_keep(buffer_);
}

ZipWriter::~ZipWriter() {
  if (archive_) zip_discard(archive_);
  zip_source_free(buffer_);
}

void ZipWriter::Raise(const std::string& what) {
  throw ZipError(what + " " + path_ + ": " + zip_strerror(archive_));
}

void ZipWriter::SetPassword(const std::string& password) {
  password_ = password;
}

bool ZipWriter::Add(const std::string& name, const std::string& content, uint32_t dosTime,
                    uint32_t externalAttributes) {
  if (!archive_) throw ZipError("The archive " + path_ + " is closed");
  if (!names_.insert(name).second) return false;
  auto* state = new MemorySource{content, DosToTime(dosTime), 0, {}};
  zip_error_init(&state->error);
  zip_source_t* source = zip_source_function(archive_, MemorySourceCallback, state);
  if (!source) {
    zip_error_fini(&state->error);
    delete state;
    Raise("Cannot add " + name + " to");
  }
  // Names are the device's 8-bit bytes; as code page 437 they carry no UTF-8 flag. libzip
  // refuses that for bytes that also read as UTF-8, which then go in as they are.
  zip_int64_t index = zip_file_add(archive_, name.c_str(), source, ZIP_FL_ENC_CP437);
  if (index < 0) index = zip_file_add(archive_, name.c_str(), source, ZIP_FL_ENC_GUESS);
  if (index < 0) {
    zip_source_free(source);
    Raise("Cannot add " + name + " to");
  }
  const auto entry = static_cast<zip_uint64_t>(index);
  if (zip_set_file_compression(archive_, entry, ZIP_CM_DEFLATE, 1) != 0 ||
      zip_file_set_external_attributes(archive_, entry, 0, ZIP_OPSYS_DOS, externalAttributes) !=
          0 ||
      (!password_.empty() &&
       zip_file_set_encryption(archive_, entry, ZIP_EM_TRAD_PKWARE, password_.c_str()) != 0)) {
    Raise("Cannot add " + name + " to");
  }
  return true;
}

void ZipWriter::Finish() {
  if (!archive_) throw ZipError("The archive " + path_ + " is closed");
  if (zip_close(archive_) != 0) Raise("Cannot write");
  archive_ = nullptr;
  // libzip drops an archive without entries; it is then the bare end record.
  std::string bytes = std::string("PK\x05\x06", 4) + std::string(18, '\0');
  if (!zip_source_is_deleted(buffer_)) {
    zip_stat_t st;
    if (zip_source_stat(buffer_, &st) != 0 || zip_source_open(buffer_) != 0)
      throw ZipError("Cannot write " + path_ + ": the archive cannot be read back");
    bytes.resize(static_cast<size_t>(st.size));
    const zip_int64_t n = zip_source_read(buffer_, bytes.data(), st.size);
    zip_source_close(buffer_);
    if (n < 0 || static_cast<zip_uint64_t>(n) != st.size)
      throw ZipError("Cannot write " + path_ + ": the archive cannot be read back");
  }
  try {
    folder_->WriteFile(std::filesystem::path(path_).filename().string(), bytes, 0,
                       !password_.empty());
  } catch (const LocalFileError& e) {
    throw ZipError(e.what());
  }
}

}  // namespace vxk
