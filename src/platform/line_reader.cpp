#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/fs.h"
#include "platform/path.h"

namespace plat {

namespace {
constexpr std::size_t kChunk = 64 * 1024;

std::atomic<long long> gReadBudget{-1};  // the fault hook: bytes reads may still deliver (negative: no limit)
std::atomic<int> gReadError{0};

ssize_t ReadChunk(int fd, char* buf, std::size_t size) {
    long long budget = gReadBudget.load();
    if (budget >= 0) {
        if (budget == 0) {
            errno = gReadError.load();
            return -1;
        }
        size = static_cast<std::size_t>(std::min<long long>(budget, static_cast<long long>(size)));
    }
    ssize_t n = read(fd, buf, size);
    if (n > 0 && budget >= 0) gReadBudget -= n;
    return n;
}
}  // namespace

namespace fault {
void FailReadsAfter(long long bytes, int err) {
    gReadError = err;
    gReadBudget = bytes < 0 ? -1 : bytes;
}
}  // namespace fault

struct LineReader::Impl {
    int fd = -1;
    std::string buf;
    std::size_t pos = 0;      // start of the next line in buf
    bool atEnd = true;        // nothing more will come into buf (until Open)
    bool failed = false;
    FileStamp opened;
    bool changed = false;  // the file was not the one opened any more when its end was read

    ~Impl() {
        if (fd >= 0) close(fd);
    }

    // Appends the next chunk of the file to buf; false at the end of the file or on a read error.
    bool Fill() {
        if (atEnd) return false;
        if (pos > 0) {  // drop the lines already handed out
            buf.erase(0, pos);
            pos = 0;
        }
        std::size_t old = buf.size();
        buf.resize(old + kChunk);
        ssize_t n;
        do n = ReadChunk(fd, buf.data() + old, kChunk);
        while (n < 0 && errno == EINTR);
        buf.resize(old + (n > 0 ? static_cast<std::size_t>(n) : 0));
        if (n <= 0) {
            failed = n < 0;
            changed = !StampOfFd(fd).SameWhileRead(opened);
            atEnd = true;
            close(fd);
            fd = -1;
        }
        return n > 0;
    }
};

LineReader::LineReader() : d_(std::make_unique<Impl>()) {}
LineReader::~LineReader() = default;
LineReader::LineReader(LineReader&&) noexcept = default;
LineReader& LineReader::operator=(LineReader&&) noexcept = default;

bool LineReader::Open(std::string_view path) {
    Close();
    // Only a regular file is text to read. O_NONBLOCK keeps the open of a named pipe from waiting for a
    // writer; a device such as /dev/zero would never yield a line end and fill memory instead.
    int fd = open(ToNative(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    const bool stated = fstat(fd, &st) == 0;
    if (!stated || !S_ISREG(st.st_mode)) {
        const int err = !stated ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = err;
        return false;
    }
    d_->fd = fd;
    d_->opened = StampOfFd(fd);
    d_->atEnd = false;
    return true;
}

LineReader LineReader::FromString(std::string data) {
    LineReader r;
    r.d_->buf = std::move(data);
    return r;
}

bool LineReader::ReadLine(std::string& line) {
    line.clear();
    if (!d_) return false;
    Impl& d = *d_;
    std::size_t scanned = d.pos;  // bytes before this are known to hold no LF
    for (;;) {
        const char* start = d.buf.data() + scanned;
        if (const void* lf = std::memchr(start, '\n', d.buf.size() - scanned)) {
            std::size_t end = static_cast<const char*>(lf) - d.buf.data();
            std::size_t next = end + 1;
            if (end > d.pos && d.buf[end - 1] == '\r') --end;
            line.assign(d.buf, d.pos, end - d.pos);
            d.pos = next;
            return true;
        }
        std::size_t unscanned = d.buf.size() - d.pos;  // Fill moves the pending line to the front
        if (!d.Fill()) break;
        scanned = unscanned;
    }
    if (d.pos >= d.buf.size()) return false;
    line.assign(d.buf, d.pos);
    d.pos = d.buf.size();
    return true;
}

std::string LineReader::Next() {
    std::string line;
    ReadLine(line);
    return line;
}

bool LineReader::ReadRest(std::string& out) {
    out.clear();
    if (!d_) return false;
    Impl& d = *d_;
    while (d.Fill()) {
    }
    out.assign(d.buf, d.pos);
    d.pos = d.buf.size();
    return !out.empty();
}

bool LineReader::Failed() const { return d_ && d_->failed; }

FileStamp LineReader::Stamp() const { return d_ ? d_->opened : FileStamp{}; }

bool LineReader::ChangedWhileRead() const {
    return d_ && (d_->changed || (d_->fd >= 0 && !StampOfFd(d_->fd).SameWhileRead(d_->opened)));
}

void LineReader::Close() {
    if (d_ && d_->opened.exists) fault::Paused("read");
    d_ = std::make_unique<Impl>();
}

}  // namespace plat
