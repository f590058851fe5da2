# The engine's folders, lowest layer first: the desktop and the page build
# both compile every .cpp under them (scripts/check_layers.py checks the
# layer rule, docs/architecture.md draws it).
set(TAVELO_SUBSYSTEMS platform resources script graphics text audio input movie persistence dialogs library host)
