// Named notifications inside one process. The name decides which handler of the observer
// runs: "a.b" -> "handleSignal_a_b:", "x.a.b" -> "handleSignal_a_b:", anything else ->
// "handleSignal:". Delivery is synchronous on the posting thread.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "model/value.h"

namespace tf {

struct Notification {
    std::string name;
    std::any object;
    Dict userInfo;
};

std::string selWithName(std::string_view name);

class SignalObserver {
  public:
    SignalObserver() = default;
    virtual ~SignalObserver();
    SignalObserver(const SignalObserver&) = delete;
    SignalObserver& operator=(const SignalObserver&) = delete;

    // Registers for the name (an earlier registration for it is replaced, so registering
    // twice still delivers once).
    void addNotification(std::string_view name);
    void removeNotification(std::string_view name);
    void removeAllNotification();

    // The single entry point for every dot-free name.
    virtual void handleSignal(const Notification& notification);
    // Handlers for the dotted forms, by method name ("handleSignal_a_b:").
    void setSignalHandler(std::string selector, std::function<void(const Notification&)> handler);
    // Runs the handler registered for a method name; unknown method names are ignored.
    void performSignal(std::string_view selector, const Notification& notification);

  private:
    std::mutex handlersMutex_;
    std::map<std::string, std::function<void(const Notification&)>, std::less<>> handlers_;
};

class NotificationCenter {
  public:
    static NotificationCenter& defaultCenter();

    void addObserver(SignalObserver* observer, std::string_view name, std::string selector);
    void removeObserver(SignalObserver* observer, std::string_view name);
    void removeObserver(SignalObserver* observer);
    void post(const Notification& notification);

  private:
    struct Registration {
        SignalObserver* observer;
        std::string name;
        std::string selector;
    };
    std::mutex mutex_;
    std::vector<Registration> registrations_;
};

void postNotification(std::string_view name, std::any object, Dict userInfo);
void postNotification(std::string_view name, std::any object);
void postNotification(std::string_view name);

}  // namespace tf
