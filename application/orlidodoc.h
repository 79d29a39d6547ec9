// The board's document: it holds no data. A new document always succeeds and storing or
// loading it reads and writes nothing; it exists so the shell keeps the familiar
// application / frame / document / view shape.
#pragma once

class COrlidoDoc {
public:
    bool OnNewDocument() { return true; }
    void Serialize() { }
};
