#include "tools/zampack/compress.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tools/zampack/package_image.h"

namespace zampack {
namespace {

// Large enough that the sync marker between blocks costs nothing worth
// counting, small enough that one large file keeps every core busy.
constexpr std::uint64_t kBlock = 1 << 20;
constexpr std::uint64_t kDictionary = 32768;

struct Block {
  std::size_t source = 0;
  std::uint64_t start = 0;
  std::uint64_t length = 0;
  bool first = false;
  bool last = false;
};

struct BlockResult {
  std::string deflated;
  uLong adler = 1;
};

// The two header bytes compress2 writes at `level`.
void ZlibHeader(int level, std::string* out) {
  unsigned flags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
  unsigned header = (Z_DEFLATED + (7 << 4)) << 8 | flags << 6;
  header += 31 - header % 31;
  out->push_back(static_cast<char>(header >> 8));
  out->push_back(static_cast<char>(header & 0xFF));
}

bool DeflateBlock(const Block& block, const std::string& input, std::size_t dictionaryLength, int level,
                  BlockResult* result, std::string* error) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    *error = "zlib cannot start a stream";
    return false;
  }
  const Bytef* data = reinterpret_cast<const Bytef*>(input.data());
  if (dictionaryLength > 0) deflateSetDictionary(&stream, data, static_cast<uInt>(dictionaryLength));
  uLong length = static_cast<uLong>(block.length);
  result->deflated.resize(deflateBound(&stream, length) + 16);
  stream.next_in = const_cast<Bytef*>(data + dictionaryLength);
  stream.avail_in = static_cast<uInt>(length);
  stream.next_out = reinterpret_cast<Bytef*>(result->deflated.data());
  stream.avail_out = static_cast<uInt>(result->deflated.size());
  // Every block but the last ends on a byte boundary with an empty stored
  // block, so that the next one's output can simply follow.
  int status = deflate(&stream, block.last ? Z_FINISH : Z_SYNC_FLUSH);
  bool ok = block.last ? status == Z_STREAM_END : status == Z_OK && stream.avail_in == 0;
  result->deflated.resize(result->deflated.size() - stream.avail_out);
  deflateEnd(&stream);
  if (!ok) {
    *error = "zlib cannot deflate a block";
    return false;
  }
  result->adler = adler32(1, data + dictionaryLength, static_cast<uInt>(length));
  return true;
}

bool CompressBlock(const Source& source, const Block& block, int level, BlockResult* result, std::string* error) {
  std::uint64_t dictionary = std::min(block.start, kDictionary);
  std::string input(static_cast<std::size_t>(dictionary + block.length), '\0');
  HostFile file;
  if (!file.Open(source.hostPath, error) || !file.Seek(block.start - dictionary, error) ||
      !file.Read(input.data(), input.size(), error)) {
    return false;
  }
  if (block.last) {
    // Past the scanned size there must be nothing: the file has not grown.
    char extra;
    std::string ignored;
    if (file.Read(&extra, 1, &ignored)) {
      *error = source.hostPath + ": the file grew while it was read";
      return false;
    }
  }
  if (block.first && block.last) {
    // A file of one block: exactly what compress2 makes of it.
    uLongf length = compressBound(static_cast<uLong>(input.size()));
    result->deflated.resize(length);
    if (compress2(reinterpret_cast<Bytef*>(result->deflated.data()), &length,
                  reinterpret_cast<const Bytef*>(input.data()), static_cast<uLong>(input.size()), level) != Z_OK) {
      *error = source.hostPath + ": zlib cannot compress it";
      return false;
    }
    result->deflated.resize(length);
    return true;
  }
  if (!DeflateBlock(block, input, static_cast<std::size_t>(dictionary), level, result, error)) {
    *error = source.hostPath + ": " + *error;
    return false;
  }
  return true;
}

}  // namespace

unsigned CoreCount() { return std::max(1u, std::thread::hardware_concurrency()); }

bool CompressSources(const std::vector<Source>& sources, int level, unsigned workers,
                     const ProgressCallback& progress, std::vector<std::string>* streams, std::string* error) {
  std::vector<Block> blocks;
  std::vector<std::size_t> firstBlock(sources.size() + 1, 0);
  for (std::size_t i = 0; i < sources.size(); ++i) {
    firstBlock[i] = blocks.size();
    std::uint64_t size = sources[i].size;
    for (std::uint64_t start = 0; start < size; start += kBlock) {
      blocks.push_back({i, start, std::min(kBlock, size - start), start == 0, start + kBlock >= size});
    }
  }
  firstBlock[sources.size()] = blocks.size();

  std::vector<BlockResult> results(blocks.size());
  std::vector<std::atomic<std::size_t>> remaining(sources.size());
  for (std::size_t i = 0; i < sources.size(); ++i) remaining[i] = firstBlock[i + 1] - firstBlock[i];
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> filesDone{0};
  std::atomic<std::uint64_t> bytesDone{0};
  std::atomic<bool> failed{false};
  std::mutex lock;
  std::condition_variable finished;
  unsigned running = 0;
  // The failure of the earliest block, so that the message does not depend on timing.
  std::size_t failedBlock = blocks.size();
  for (std::size_t i = 0; i < sources.size(); ++i) {
    if (sources[i].size == 0) ++filesDone;
  }

  auto work = [&] {
    for (std::size_t index = next++; index < blocks.size() && !failed; index = next++) {
      const Block& block = blocks[index];
      std::string message;
      if (!CompressBlock(sources[block.source], block, level, &results[index], &message)) {
        std::lock_guard<std::mutex> guard(lock);
        if (index < failedBlock) {
          failedBlock = index;
          *error = message;
        }
        failed = true;
        break;
      }
      bytesDone += block.length;
      if (--remaining[block.source] == 0) ++filesDone;
    }
    std::lock_guard<std::mutex> guard(lock);
    --running;
    finished.notify_all();
  };

  workers = std::max(1u, std::min<unsigned>(workers, static_cast<unsigned>(std::max<std::size_t>(blocks.size(), 1))));
  std::vector<std::thread> threads;
  running = workers;
  for (unsigned i = 0; i < workers; ++i) threads.emplace_back(work);
  {
    std::unique_lock<std::mutex> guard(lock);
    while (running > 0) {
      finished.wait_for(guard, std::chrono::milliseconds(100));
      if (progress && running > 0) {
        guard.unlock();
        progress(filesDone, bytesDone);
        guard.lock();
      }
    }
  }
  for (std::thread& thread : threads) thread.join();
  if (failed) return false;
  if (progress) progress(filesDone, bytesDone);

  streams->assign(sources.size(), std::string());
  for (std::size_t i = 0; i < sources.size(); ++i) {
    std::size_t begin = firstBlock[i];
    std::size_t end = firstBlock[i + 1];
    if (end - begin == 1) {
      (*streams)[i] = std::move(results[begin].deflated);
    } else if (end - begin > 1) {
      std::string& out = (*streams)[i];
      ZlibHeader(level, &out);
      uLong adler = 1;
      for (std::size_t b = begin; b < end; ++b) {
        out += results[b].deflated;
        std::string().swap(results[b].deflated);
        adler = adler32_combine(adler, results[b].adler, static_cast<z_off_t>(blocks[b].length));
      }
      for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((adler >> shift) & 0xFF));
    }
  }
  return true;
}

}  // namespace zampack
