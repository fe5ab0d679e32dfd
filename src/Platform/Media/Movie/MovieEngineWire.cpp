#include "Platform/Media/Movie/MovieEngineWire.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace media::wire {

Received::Received(Received&& other) noexcept
    : message(other.message)
    , text(std::move(other.text))
    , descriptor(std::exchange(other.descriptor, -1))
{
}

Received::~Received()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

bool send(int socket, const Message& message, std::string_view text, int descriptor)
{
    if (text.size() > MaximumText)
        return false;
    iovec parts[2] = { { const_cast<Message*>(&message), sizeof message },
        { const_cast<char*>(text.data()), text.size() } };
    msghdr header {};
    header.msg_iov = parts;
    header.msg_iovlen = text.empty() ? 1 : 2;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] {};
    if (descriptor >= 0) {
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        cmsghdr* rights = CMSG_FIRSTHDR(&header);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(rights), &descriptor, sizeof(int));
    }
    ssize_t sent;
    do
        sent = ::sendmsg(socket, &header, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == ssize_t(sizeof message + text.size());
}

std::optional<Received> receive(int socket)
{
    std::vector<char> buffer(sizeof(Message) + MaximumText + 1);
    iovec part { buffer.data(), buffer.size() };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] {};
    msghdr header {};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    ssize_t length;
    do
        length = ::recvmsg(socket, &header, MSG_TRUNC | MSG_CMSG_CLOEXEC);
    while (length < 0 && errno == EINTR);
    Received received;
    for (cmsghdr* item = CMSG_FIRSTHDR(&header); item; item = CMSG_NXTHDR(&header, item))
        if (item->cmsg_level == SOL_SOCKET && item->cmsg_type == SCM_RIGHTS && item->cmsg_len == CMSG_LEN(sizeof(int)))
            std::memcpy(&received.descriptor, CMSG_DATA(item), sizeof(int));
    if (length < ssize_t(sizeof(Message)) || size_t(length) > sizeof(Message) + MaximumText
        || (header.msg_flags & MSG_CTRUNC))
        return std::nullopt;
    std::memcpy(&received.message, buffer.data(), sizeof(Message));
    received.text.assign(buffer.data() + sizeof(Message), size_t(length) - sizeof(Message));
    return received;
}

} // namespace media::wire
