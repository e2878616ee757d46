#pragma once

// Where users reach the makers. Kept in one place so a release can change them together.
namespace Contact {
inline constexpr char SupportAddress[] = "support@brenvatic.example";
inline constexpr char SignUpPage[] = "https://ipinfo.io/signup";
inline constexpr char ContactPage[] = "https://brenvatic.example/contact";
} // namespace Contact
