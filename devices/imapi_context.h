#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/disc_service.h"

namespace kestrune {

/// The disc-service objects of the wizard: created by start-up before the sheet shows, bound
/// to the chosen drive by the Drive page, used by the burn on the worker thread, released by
/// start-up after the worker has ended. One per process, reached by reference.
///
/// The flags cross threads (the UI thread, the worker, the write-progress callbacks), so they
/// are atomic. `format` and `recorder` are used by one thread at a time: a disc step of the
/// worker holds `writerInUse` for as long as it uses them, and the UI-thread functions of
/// devices/recorders.h only try it and answer "ask again" when it is taken.
struct ImapiContext {
  /// 1 once every object below exists; 0 again after they are released. Code that uses the
  /// disc service checks it first and does nothing while it is 0.
  std::atomic<uint32_t> ready{0};
  /// The disc master: lists the recorders and makes the objects. Not owned.
  platform::DiscService* master = nullptr;
  /// The recorder that burning uses. BindRecorder replaces it with the recorder of the chosen
  /// drive; `format` holds it from then on. Declared before `format` so that the writer goes
  /// first: it does not own the recorder it was given.
  std::unique_ptr<platform::DiscRecorder> recorder;
  /// The data writer used for every disc.
  std::unique_ptr<platform::DiscDataWriter> format;
  /// The write-progress receiver connected to `format` while a disc is written. Not owned.
  platform::DataWriteEvents* sink = nullptr;
  /// Media code the recorder was bound for; 0 while no recorder is bound.
  std::atomic<uint32_t> targetMediaType{0};
  /// 1 while the disc write call runs.
  std::atomic<uint32_t> burning{0};
  /// 1 once the user or an error has decided to end the application while jobs may still run.
  std::atomic<uint32_t> exitRequested{0};
  /// Drive letter `recorder` is bound to (0 while unbound). Written and read by the binding
  /// on the UI thread only.
  wchar_t boundLetter = 0;
  /// Held by the worker while a disc step uses `format` or `recorder`.
  std::mutex writerInUse;
};

}  // namespace kestrune
