// The tavelo executable: parses the command line and runs the engine.

int main() { return 0; }
