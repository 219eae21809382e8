// The host's side on Linux: dlopen, and the debug channel as an abstract-namespace datagram
// socket named like the mailslot.
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <vector>

#include "plugin/host/channel_address_posix.h"
#include "tools/hostkit/hostkit.h"
#include "tools/hostkit/os.h"

namespace hostkit {

const char* library_file_name() { return "libtalvik.so"; }

std::string program_dir() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    path[n] = '\0';
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? std::string()
                            : std::string(path, static_cast<std::size_t>(slash + 1 - path));
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace os {

namespace {

#if defined(__LP64__)
using elf_header = Elf64_Ehdr;
using program_header = Elf64_Phdr;
constexpr unsigned char own_class = ELFCLASS64;
#else
using elf_header = Elf32_Ehdr;
using program_header = Elf32_Phdr;
constexpr unsigned char own_class = ELFCLASS32;
#endif
#if defined(__x86_64__)
constexpr int own_machine = EM_X86_64;
#elif defined(__i386__)
constexpr int own_machine = EM_386;
#elif defined(__aarch64__)
constexpr int own_machine = EM_AARCH64;
#elif defined(__arm__)
constexpr int own_machine = EM_ARM;
#else
constexpr int own_machine = -1; // not checked
#endif
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr unsigned char own_order = ELFDATA2LSB;
#else
constexpr unsigned char own_order = ELFDATA2MSB;
#endif

// True when `count` items of `each` bytes from `offset` lie within `size`, without overflow.
bool within(std::uint64_t offset, std::uint64_t count, std::uint64_t each, std::uint64_t size) {
    if (offset > size) return false;
    return each == 0 || count <= (size - offset) / each;
}

bool read_at(int fd, void* to, std::size_t bytes, std::uint64_t offset) {
    auto* at = static_cast<char*>(to);
    while (bytes > 0) {
        const ssize_t n = pread(fd, at, bytes, static_cast<off_t>(offset));
        if (n <= 0) return false;
        at += n;
        bytes -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

std::string check_open_file(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return "it is not a file";
    const auto size = static_cast<std::uint64_t>(st.st_size);
    unsigned char ident[EI_NIDENT] = {};
    if (size < EI_NIDENT || !read_at(fd, ident, sizeof ident, 0) ||
        std::memcmp(ident, ELFMAG, SELFMAG) != 0) {
        return "it is not a shared library (no ELF header)";
    }
    if (ident[EI_CLASS] != own_class) {
        return ident[EI_CLASS] == ELFCLASS32 || ident[EI_CLASS] == ELFCLASS64
                   ? std::string("it is a ") + (ident[EI_CLASS] == ELFCLASS32 ? "32" : "64") +
                         "-bit library; this talvik-sim loads " +
                         (own_class == ELFCLASS32 ? "32" : "64") + "-bit ones"
                   : "its ELF header is damaged (class)";
    }
    if (ident[EI_DATA] != own_order) return "it is built for another byte order";
    elf_header h{};
    if (size < sizeof h || !read_at(fd, &h, sizeof h, 0)) return "it is cut short (ELF header)";
    if (h.e_type != ET_DYN)
        return "it is not a shared library (ELF type " + std::to_string(h.e_type) + ")";
    if (own_machine >= 0 && h.e_machine != own_machine) {
        return "it is built for another processor (ELF machine " + std::to_string(h.e_machine) +
               ")";
    }
    if (h.e_phnum == 0 || h.e_phentsize != sizeof(program_header))
        return "its ELF header is damaged (program headers)";
    if (!within(h.e_phoff, h.e_phnum, h.e_phentsize, size))
        return "it is cut short (its program headers reach past the end of the file)";
    if (h.e_shnum > 0 && !within(h.e_shoff, h.e_shnum, h.e_shentsize, size))
        return "it is cut short (its section headers reach past the end of the file)";
    std::vector<program_header> segments(h.e_phnum);
    if (!read_at(fd, segments.data(), segments.size() * sizeof(program_header), h.e_phoff))
        return "it cannot be read";
    for (const program_header& p : segments) {
        if (!within(p.p_offset, 1, p.p_filesz, size))
            return "it is cut short (a segment reaches past the end of the file)";
    }
    return {};
}

} // namespace

bool check_library_file(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    error = check_open_file(fd);
    ::close(fd);
    return error.empty();
}

void* open_library(const std::string& path, std::string& error) {
    // dlopen searches the library path for a bare name: a file here is meant instead.
    const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        error = why != nullptr ? why : "cannot load the library";
    }
    return library;
}

void* find_symbol(void* library, const char* name) { return dlsym(library, name); }

void close_library(void* library) {
    if (library != nullptr) dlclose(library);
}

} // namespace os

listen_result debug_listener::open(std::string& error) {
    close();
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return listen_result::failed;
    }
    sockaddr_un addr;
    const socklen_t length = ats::debug_channel_address(addr);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), length) != 0) {
        const int why = errno;
        ::close(fd);
        if (why == EADDRINUSE) {
            error = "another listener has the debug channel";
            return listen_result::name_taken;
        }
        error = std::strerror(why);
        return listen_result::failed;
    }
    handle_ = fd;
    return listen_result::listening;
}

namespace {

// One datagram into `message`; recv's result.
ssize_t take_one(int fd, std::string& message, int flags) {
    char buffer[65536];
    const ssize_t n = recv(fd, buffer, sizeof buffer, flags);
    if (n >= 0) message.assign(buffer, static_cast<std::size_t>(n));
    return n;
}

} // namespace

bool debug_listener::receive(std::string& message) {
    return is_open() && take_one(static_cast<int>(handle_), message, MSG_DONTWAIT) >= 0;
}

bool debug_listener::wait(std::string& message, std::string& error) {
    if (!is_open()) {
        error = "the debug channel is not open";
        return false;
    }
    if (take_one(static_cast<int>(handle_), message, 0) >= 0) return true;
    if (errno != EINTR) error = std::strerror(errno);
    return false;
}

void debug_listener::close() {
    if (is_open()) ::close(static_cast<int>(handle_));
    handle_ = closed;
}

bool channel_has_listener() {
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr;
    const socklen_t length = ats::debug_channel_address(addr);
    const bool bound = connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0;
    ::close(fd);
    return bound;
}

} // namespace hostkit
