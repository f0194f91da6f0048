#include "platform/gvfs_mount.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/gio_library.h"
#include "platform/trace.h"

namespace platform {
namespace {

// Only called once gvfsAvailable() said yes, which it does only with GIO loaded.
const GioLibrary& gio() {
    return *gioLibrary();
}

constexpr auto kMountDeadline = std::chrono::seconds(30);
// After a cancellation, how long GVfs gets to hand back the operation it was told to drop.
constexpr auto kCancelGrace = std::chrono::seconds(5);

std::mutex gvfsMutex;  // one GVfs operation at a time

// A main context of our own, the calling thread's default while the object lives, so that
// GIO's callbacks come to us and never to a loop of the host program.
class OwnMainContext {
  public:
    OwnMainContext() : context_(gio().g_main_context_new()) {
        gio().g_main_context_push_thread_default(context_);
    }
    ~OwnMainContext() {
        // Whatever is still queued belongs to finished operations.
        while (gio().g_main_context_iteration(context_, FALSE)) {
        }
        gio().g_main_context_pop_thread_default(context_);
        gio().g_main_context_unref(context_);
    }
    OwnMainContext(const OwnMainContext&) = delete;
    OwnMainContext& operator=(const OwnMainContext&) = delete;

    // Runs the context until `done` is set or `deadline` passes; true when done.
    bool runUntil(const bool& done, std::chrono::steady_clock::time_point deadline) {
        while (!done) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            bool woken = false;
            GSource* timer = gio().g_timeout_source_new(static_cast<guint>(left.count()));
            gio().g_source_set_callback(
                timer,
                [](gpointer flag) -> gboolean {
                    *static_cast<bool*>(flag) = true;
                    return G_SOURCE_REMOVE;
                },
                &woken, nullptr);
            gio().g_source_attach(timer, context_);
            while (!done && !woken)
                gio().g_main_context_iteration(context_, TRUE);
            gio().g_source_destroy(timer);
            gio().g_source_unref(timer);
        }
        return true;
    }

  private:
    GMainContext* context_;
};

// Runs one asynchronous GIO operation started by `start` (given the cancellable and the state to
// hand to its callback) until it finishes or the deadline passes, then cancels it and waits a
// little for the callback, which must still find its state alive.
template <typename State, typename Start>
bool runOperation(OwnMainContext& loop, State& state, GCancellable* cancellable, Start start,
                  std::chrono::steady_clock::duration deadline) {
    start();
    if (loop.runUntil(state.done, std::chrono::steady_clock::now() + deadline))
        return true;
    gio().g_cancellable_cancel(cancellable);
    loop.runUntil(state.done, std::chrono::steady_clock::now() + kCancelGrace);
    return false;
}

struct MountState {
    const GvfsLogin* login = nullptr;
    int passwordRequests = 0;
    bool done = false;
    GErrorPtr error;
};

void answerPassword(GMountOperation* operation, const char*, const char*, const char*,
                    GAskPasswordFlags flags, gpointer data) {
    auto* state = static_cast<MountState*>(data);
    // A second question means GVfs refused the first answer; asking again would only repeat it.
    if (++state->passwordRequests > 1) {
        gio().g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
        return;
    }
    const GvfsLogin& login = *state->login;
    if (login.user.empty() && (flags & G_ASK_PASSWORD_ANONYMOUS_SUPPORTED)) {
        gio().g_mount_operation_set_anonymous(operation, TRUE);
    } else {
        gio().g_mount_operation_set_anonymous(operation, FALSE);
        gio().g_mount_operation_set_username(operation, login.user.c_str());
        gio().g_mount_operation_set_domain(operation, login.domain.c_str());
        gio().g_mount_operation_set_password(operation, login.password.c_str());
    }
    gio().g_mount_operation_set_password_save(operation, G_PASSWORD_SAVE_NEVER);
    gio().g_mount_operation_reply(operation, G_MOUNT_OPERATION_HANDLED);
}

void refuseQuestion(GMountOperation* operation, const char*, const char**, gpointer) {
    gio().g_mount_operation_reply(operation, G_MOUNT_OPERATION_ABORTED);
}

void mountFinished(GObject* source, GAsyncResult* result, gpointer data) {
    auto* state = static_cast<MountState*>(data);
    GError* raw = nullptr;
    gio().g_file_mount_enclosing_volume_finish(reinterpret_cast<GFile*>(source), result, &raw);
    state->error.reset(raw);
    state->done = true;
}

WinError codeOfMountError(const GError& error, const MountState& state) {
    if (error.domain == gio().g_io_error_quark()) {
        switch (error.code) {
            case G_IO_ERROR_FAILED_HANDLED:
            case G_IO_ERROR_PERMISSION_DENIED:
                if (state.passwordRequests > 1)
                    return !state.login->user.empty() && state.login->password.empty()
                               ? kErrorInvalidPassword
                               : kErrorLogonFailure;
                return kErrorAccessDenied;
            case G_IO_ERROR_NOT_FOUND:
            case G_IO_ERROR_INVALID_FILENAME:
                return kErrorBadNetName;
            default:
                break;
        }
    }
    // The server out of reach, the deadline passed, GVfs failing for reasons of its own.
    return kErrorBadNetPath;
}

GObjectPtr<GMount> enclosingMount(GFile* file) {
    return GObjectPtr<GMount>(gio().g_file_find_enclosing_mount(file, nullptr, nullptr));
}

bool checkAvailable() {
    const char* off = std::getenv("DRIVESCOUT_GVFS");
    if (off && std::strcmp(off, "0") == 0)
        return false;
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!bus || !bus[0]) {
        traceNarrow("gvfs: no session bus; shares are checked and recorded, not mounted");
        return false;
    }
    if (!gioLibrary()) {
        traceNarrow("gvfs: GIO could not be loaded; shares are checked and recorded, not mounted");
        return false;
    }
    GVfs* vfs = gio().g_vfs_get_default();
    const gchar* const* schemes = gio().g_vfs_get_supported_uri_schemes(vfs);
    const bool smb =
        schemes && std::any_of(schemes, schemes + gio().g_strv_length(const_cast<gchar**>(schemes)),
                               [](const gchar* scheme) { return std::strcmp(scheme, "smb") == 0; });
    if (!gio().g_vfs_is_active(vfs) || !smb) {
        traceNarrow(
            "gvfs: no GVfs daemon with SMB support on the session bus; shares are checked "
            "and recorded, not mounted");
        return false;
    }
    return true;
}

}  // namespace

bool gvfsAvailable() {
    // Asked once per bus address: a session ends with the process in practice, but tests and
    // the restore command may run in a second one.
    static std::mutex mutex;
    static std::optional<std::string> askedFor;
    static bool answer = false;
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* off = std::getenv("DRIVESCOUT_GVFS");
    std::string key = std::string(bus ? bus : "") + "|" + (off ? off : "");
    std::lock_guard lock(mutex);
    if (askedFor != key) {
        answer = checkAvailable();
        askedFor = std::move(key);
    }
    return answer;
}

GvfsMountResult gvfsMount(const std::string& url, const GvfsLogin& login) {
    if (!gvfsAvailable())
        return {};
    std::lock_guard lock(gvfsMutex);
    OwnMainContext loop;
    GObjectPtr<GFile> file(gio().g_file_new_for_uri(url.c_str()));
    GObjectPtr<GMountOperation> operation(gio().g_mount_operation_new());
    GObjectPtr<GCancellable> cancellable(gio().g_cancellable_new());
    // On the heap: should GVfs keep the operation past the grace period, its late callback must
    // still find the state, which is then left to leak rather than be used after its end.
    auto state = std::make_unique<MountState>();
    state->login = &login;
    gio().g_signal_connect_data(operation.get(), "ask-password", G_CALLBACK(answerPassword),
                                state.get(), nullptr, GConnectFlags());
    gio().g_signal_connect_data(operation.get(), "ask-question", G_CALLBACK(refuseQuestion),
                                state.get(), nullptr, GConnectFlags());
    const bool finished = runOperation(
        loop, *state, cancellable.get(),
        [&] {
            gio().g_file_mount_enclosing_volume(file.get(), G_MOUNT_MOUNT_NONE, operation.get(),
                                                cancellable.get(), mountFinished, state.get());
        },
        kMountDeadline);
    if (!state->done) {
        gio().g_signal_handlers_disconnect_matched(operation.get(), G_SIGNAL_MATCH_DATA, 0, 0,
                                                   nullptr, nullptr, state.get());
        state.release();
        traceNarrow("gvfs: mount of " + url + " did not end");
        return {kErrorBadNetPath, false};
    }
    if (!finished || state->error) {
        if (state->error && gio().g_error_matches(state->error.get(), gio().g_io_error_quark(),
                                                  G_IO_ERROR_ALREADY_MOUNTED))
            return {kNoError, true};
        const WinError code = finished ? codeOfMountError(*state->error, *state) : kErrorBadNetPath;
        traceNarrow("gvfs: mount of " + url + " failed (" +
                    (state->error ? errorCodeText(*state->error) : std::string("deadline")) +
                    "), code " + std::to_string(code));
        return {code, false};
    }
    return {kNoError, false};
}

namespace {

struct UnmountState {
    bool done = false;
    GErrorPtr error;
};

void unmountFinished(GObject* source, GAsyncResult* result, gpointer data) {
    auto* state = static_cast<UnmountState*>(data);
    GError* raw = nullptr;
    gio().g_mount_unmount_with_operation_finish(reinterpret_cast<GMount*>(source), result, &raw);
    state->error.reset(raw);
    state->done = true;
}

}  // namespace

WinError gvfsUnmount(const std::string& url) {
    if (!gvfsAvailable())
        return kErrorNotConnected;
    std::lock_guard lock(gvfsMutex);
    OwnMainContext loop;
    GObjectPtr<GFile> file(gio().g_file_new_for_uri(url.c_str()));
    GObjectPtr<GMount> mount = enclosingMount(file.get());
    if (!mount)
        return kErrorNotConnected;
    GObjectPtr<GCancellable> cancellable(gio().g_cancellable_new());
    auto state = std::make_unique<UnmountState>();  // on the heap, as in gvfsMount
    runOperation(
        loop, *state, cancellable.get(),
        [&] {
            gio().g_mount_unmount_with_operation(mount.get(), G_MOUNT_UNMOUNT_NONE, nullptr,
                                                 cancellable.get(), unmountFinished, state.get());
        },
        kMountDeadline);
    if (!state->done) {
        state.release();
        traceNarrow("gvfs: unmount of " + url + " did not end");
        return kErrorBadNetPath;
    }
    if (state->error) {
        traceNarrow("gvfs: unmount of " + url + " failed (" + errorCodeText(*state->error) + ")");
        return kErrorBadNetPath;
    }
    return kNoError;
}

bool gvfsIsMounted(const std::string& url) {
    if (!gvfsAvailable())
        return false;
    std::lock_guard lock(gvfsMutex);
    OwnMainContext loop;
    GObjectPtr<GFile> file(gio().g_file_new_for_uri(url.c_str()));
    return enclosingMount(file.get()) != nullptr;
}

std::string gvfsLocation(const std::string& url) {
    if (!gvfsAvailable())
        return url;
    std::lock_guard lock(gvfsMutex);
    OwnMainContext loop;
    GObjectPtr<GFile> file(gio().g_file_new_for_uri(url.c_str()));
    if (!enclosingMount(file.get()))
        return url;
    // GVfs gives a local path only through its FUSE bridge.
    std::unique_ptr<char, decltype(gio().g_free)> path(gio().g_file_get_path(file.get()),
                                                       gio().g_free);
    return path ? std::string(path.get()) : url;
}

}  // namespace platform
