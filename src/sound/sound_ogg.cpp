// sound_ogg.cpp -- the Ogg Vorbis decoder, bound at run time, and the
// callbacks through which it reads the file layer.

#include <climits>

#include "sound/sound_local.h"

namespace sound {

using core::Sjis;

// ----------------------------------------------------------------------------
// Binding
// ----------------------------------------------------------------------------

namespace {

template <typename Fn>
bool Take(platform::SharedLibrary* library, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(platform::FindLibrarySymbol(library, name));
  return *out != nullptr;
}

}  // namespace

bool OggVorbisLibrary::Bind(const char* libraryName) {
  Unbind();
  if (!libraryName) return false;
  // libvorbisfile brings libvorbis and libogg with it.
  platform::SharedLibrary* lib = platform::LoadSharedLibrary(libraryName);
  if (!lib) return false;
  bool all = Take(lib, "ov_open_callbacks", &openCallbacks) && Take(lib, "ov_read", &read) &&
             Take(lib, "ov_info", &info) && Take(lib, "ov_pcm_total", &pcmTotal) && Take(lib, "ov_clear", &clear);
  library = lib;
  if (!all) Unbind();
  return all;
}

void OggVorbisLibrary::Unbind() {
  platform::FreeSharedLibrary(library);
  *this = OggVorbisLibrary{};
}

// ----------------------------------------------------------------------------
// Callbacks over the file layer
// ----------------------------------------------------------------------------

namespace {

size_t ReadCallback(void* buffer, size_t size, size_t count, void* user) {
  auto* src = static_cast<OggSource*>(user);
  if (size == 0 || count == 0) return 0;
  size_t wanted = size * count;
  if (count > SIZE_MAX / size || wanted > size_t(INT32_MAX)) wanted = size_t(INT32_MAX) / size * size;
  int32_t pos = src->table->TellFile(src->file);
  if (pos < 0) return 0;
  int32_t got = 0;
  src->table->ReadFileData(src->file, buffer, pos, int32_t(wanted), &got);
  // The position follows the bytes read, whatever kind of file it is.
  src->table->SeekFile(src->file, pos + got, core::kFileBegin);
  return size_t(got) / size;
}

int SeekCallback(void* user, ogg_int64_t offset, int origin) {
  auto* src = static_cast<OggSource*>(user);
  if (origin != core::kFileBegin && origin != core::kFileCurrent && origin != core::kFileEnd) return -1;
  if (offset > INT32_MAX || offset < INT32_MIN) return -1;
  src->table->SeekFile(src->file, int32_t(offset), origin);
  return 0;
}

int CloseCallback(void* user) {
  auto* src = static_cast<OggSource*>(user);
  src->table->FreeFileCache(src->file);
  src->table->CloseFileHandle(src->file);
  src->file = core::kNoFile;
  return 0;
}

long TellCallback(void* user) {
  auto* src = static_cast<OggSource*>(user);
  return src->table->TellFile(src->file);
}

}  // namespace

ov_callbacks FileLayerCallbacks() {
  ov_callbacks cb;
  cb.read_func = ReadCallback;
  cb.seek_func = SeekCallback;
  cb.close_func = CloseCallback;
  cb.tell_func = TellCallback;
  return cb;
}

const char* OggAnswerText(int answer) {
  switch (answer) {
    case kOggOk: return Sjis("Oggファイル読み込み成功");
    case kOggFalse:
    case kOggRead: return Sjis("Oggファイル読み込み失敗");
    case kOggFault: return Sjis("Oggファイルの処理の内部エラー");
    case kOggNotVorbis: return Sjis("OggファイルにVorbisデータが含まれていない");
    case kOggBadHeader: return Sjis("Oggファイルのヘッダーが異常");
    case kOggVersion: return Sjis("Oggファイルバージョンが異なる");
    default: return nullptr;
  }
}

// ----------------------------------------------------------------------------
// Opening
// ----------------------------------------------------------------------------

int OpenOggDecoder(OggVorbisLibrary& lib, OggSource* source, OggVorbis_File* vf, core::LogSystem* log) {
  int answer = kOggFalse;
  if (lib.Bound()) {
    source->table->SeekFile(source->file, 0, core::kFileBegin);
    answer = lib.openCallbacks(source, vf, nullptr, 0, FileLayerCallbacks());
  } else if (log && !lib.missingLogged) {
    log->WriteLogf(core::kLogError, Sjis("Ogg Vorbisのライブラリ\"%s\"がありません。\n"), kVorbisFileLibrary);
    lib.missingLogged = true;
  }
  if (const char* text = OggAnswerText(answer)) core::Log(log, core::kLogInfo, text);
  if (answer != 0) CloseCallback(source);
  return answer;
}

platform::PcmFormat OggFormat(OggVorbisLibrary& lib, OggVorbis_File* vf) {
  vorbis_info* info = lib.info(vf, -1);
  return info ? platform::PcmFormatOf(info->channels, int(info->rate), 16) : platform::PcmFormat{};
}

bool SoundSystem::BindOggVorbis(const char* libraryName) { return ogg_->Bind(libraryName); }

}  // namespace sound
