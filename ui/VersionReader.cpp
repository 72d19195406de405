#include "ui/VersionReader.h"

#include <elf.h>

#include <cstring>
#include <fstream>

namespace vxk {
namespace {

bool ReadAt(std::ifstream& in, uint64_t offset, void* out, size_t size) {
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  return in && in.read(static_cast<char*>(out), static_cast<std::streamsize>(size)) &&
         static_cast<size_t>(in.gcount()) == size;
}

// The contents of the named section of a 64-bit ELF file; false when there is none.
bool ReadSection(const std::string& path, const char* name, size_t limit, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  Elf64_Ehdr header{};
  if (!in || !ReadAt(in, 0, &header, sizeof header)) return false;
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_shentsize != sizeof(Elf64_Shdr) || header.e_shstrndx >= header.e_shnum)
    return false;
  const auto section = [&](unsigned index, Elf64_Shdr& s) {
    return ReadAt(in, header.e_shoff + uint64_t(index) * sizeof(Elf64_Shdr), &s, sizeof s);
  };
  Elf64_Shdr names{};
  if (!section(header.e_shstrndx, names)) return false;
  const size_t wanted = std::strlen(name) + 1;
  for (unsigned i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr s{};
    if (!section(i, s) || s.sh_name >= names.sh_size || names.sh_size - s.sh_name < wanted)
      continue;
    std::string found(wanted, '\0');
    if (!ReadAt(in, names.sh_offset + s.sh_name, found.data(), wanted)) continue;
    if (std::memcmp(found.data(), name, wanted) != 0) continue;
    if (s.sh_type == SHT_NOBITS || s.sh_size == 0 || s.sh_size > limit) return false;
    out.assign(static_cast<size_t>(s.sh_size), '\0');
    return ReadAt(in, s.sh_offset, out.data(), out.size());
  }
  return false;
}

}  // namespace

TVersionReader::TVersionReader(const std::string& path) {
  readable_ = ReadSection(path, kSection, kMaxBlock, block_);
  if (!readable_) return;
  FVersion = Value("FileVersion");
  FDate = Value("FileDate");
  FCopyright = Value("LegalCopyright");
  FDescription = Value("FileDescription");
}

std::string TVersionReader::Value(const std::string& key) const {
  std::string query = kQuery;
  query.replace(query.find("%s"), 2, key);
  // Pairs of NUL-ended texts; a last text without its NUL is cut off.
  size_t at = 0;
  while (at < block_.size()) {
    const size_t keyEnd = block_.find('\0', at);
    if (keyEnd == std::string::npos) break;
    const size_t valueEnd = block_.find('\0', keyEnd + 1);
    if (valueEnd == std::string::npos) break;
    if (block_.compare(at, keyEnd - at, query) == 0)
      return block_.substr(keyEnd + 1, valueEnd - keyEnd - 1);
    at = valueEnd + 1;
  }
  return std::string();
}

}  // namespace vxk
