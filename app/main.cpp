// Entry point (placeholder until the front end lands).
int main() { return 0; }
