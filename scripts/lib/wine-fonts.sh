# Sourced by the scripts that run Kelvane.exe under Wine. With Tahoma from fonts-wine,
# "MS Shell Dlg" looks as on Windows, and Marlett draws the caption buttons; without
# fonts-wine every face falls back to DejaVu Sans.
add_windows_fonts() {
    local font
    for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
        if [ -e "/usr/share/wine/fonts/$font" ]; then
            cp "/usr/share/wine/fonts/$font" "$WINEPREFIX/drive_c/windows/Fonts/"
        fi
    done
}
