#ifndef SOCKETDESCRIPTOR_H
#define SOCKETDESCRIPTOR_H

#include <unistd.h>

#include <utility>

// Owns one socket descriptor and closes it when it goes, so that no way out
// of a lookup, a thrown failure among them, leaves a descriptor open.
class SocketDescriptor
{
public:
    SocketDescriptor() = default;
    explicit SocketDescriptor(int descriptor)
        : m_descriptor(descriptor)
    {
    }
    ~SocketDescriptor() { reset(); }

    SocketDescriptor(SocketDescriptor &&other) noexcept
        : m_descriptor(std::exchange(other.m_descriptor, -1))
    {
    }
    SocketDescriptor &operator=(SocketDescriptor &&other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_descriptor, -1));
        return *this;
    }
    SocketDescriptor(const SocketDescriptor &) = delete;
    SocketDescriptor &operator=(const SocketDescriptor &) = delete;

    bool isValid() const { return m_descriptor >= 0; }
    int get() const { return m_descriptor; }

    void reset(int descriptor = -1)
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = descriptor;
    }

private:
    int m_descriptor = -1;
};

#endif // SOCKETDESCRIPTOR_H
