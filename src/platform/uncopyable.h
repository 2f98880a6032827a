#pragma once

// Base for classes that own a resource (socket, device handle, thread):
// copying one would make two owners.
class Uncopyable {
protected:
    Uncopyable() = default;
    ~Uncopyable() = default;

public:
    Uncopyable(const Uncopyable&) = delete;
    Uncopyable& operator=(const Uncopyable&) = delete;
};
