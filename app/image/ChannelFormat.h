// The channel formats an output picture may be written in.
#pragma once

enum class ChannelFormat { UInt8, UInt16, Half, Float };
