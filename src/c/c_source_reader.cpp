#include "c/c_source_reader.hpp"

#ifdef EMU6502_HAVE_LIBCLANG
#include <clang-c/Index.h>

#include <functional>
#include <memory>
#endif

namespace c_view {

#ifndef EMU6502_HAVE_LIBCLANG
bool c_reader_built() { return false; }

std::string read_c_source(const std::string&, const std::vector<std::string>&, Types&, DeclaredFile&) {
    return "built without libclang";
}
#else
bool c_reader_built() { return true; }

namespace {
std::string text_of(CXString string) {
    const char* text = clang_getCString(string);
    std::string copy = text != nullptr ? text : "";
    clang_disposeString(string);
    return copy;
}

// cv-qualifiers change no layout: "const char *const" is read as "char *".
std::string unqualified(std::string name) {
    for (const std::string_view word : {"const ", "volatile ", "restrict "})
        for (std::size_t at; (at = name.find(word)) != std::string::npos;) name.erase(at, word.size());
    for (const std::string_view word : {" const", " volatile", " restrict"})
        for (std::size_t at; (at = name.find(word)) != std::string::npos;) name.erase(at, word.size());
    return name;
}

void each_child(CXCursor cursor, const std::function<void(CXCursor)>& visit) {
    clang_visitChildren(
        cursor,
        [](CXCursor child, CXCursor, CXClientData data) {
            (*static_cast<const std::function<void(CXCursor)>*>(data))(child);
            return CXChildVisit_Continue;
        },
        const_cast<std::function<void(CXCursor)>*>(&visit));
}

class Reader {
public:
    explicit Reader(Types& types) : types_(types) {}

    std::uint32_t type(CXType written) {
        const CXType t = clang_getCanonicalType(written);
        const long long size = clang_Type_getSizeOf(t);
        switch (t.kind) {
        case CXType_Void: return types_.void_type;
        case CXType_Bool: return types_.find("_Bool");
        case CXType_Char_U:
        case CXType_Char_S: return types_.char_type;
        case CXType_UChar: return types_.find("unsigned char");
        case CXType_SChar: return types_.find("signed char");
        case CXType_UShort:
        case CXType_UInt:
        case CXType_ULong:
        case CXType_ULongLong: return unsigned_of(size);
        case CXType_Short:
        case CXType_Int:
        case CXType_Long:
        case CXType_LongLong: return signed_of(size);
        case CXType_Pointer: return types_.pointer_to(type(clang_getPointeeType(t)));
        case CXType_ConstantArray:
            return types_.array_of(type(clang_getArrayElementType(t)),
                                   static_cast<std::uint32_t>(clang_getArraySize(t)));
        case CXType_IncompleteArray: return types_.array_of(type(clang_getArrayElementType(t)), 0);
        case CXType_Record: return record(t);
        case CXType_Enum: return enumeration(t, size);
        case CXType_FunctionProto:
        case CXType_FunctionNoProto: {
            Type function;
            function.kind = Kind::function;
            function.name = unqualified(text_of(clang_getTypeSpelling(t)));
            return types_.add(std::move(function));
        }
        default: {
            Type other;
            other.name = unqualified(text_of(clang_getTypeSpelling(t)));
            other.size = size > 0 ? static_cast<std::uint32_t>(size) : 0;
            return types_.add(std::move(other));
        }
        }
    }

private:
    Types& types_;

    std::uint32_t unsigned_of(long long size) { return types_.integer(static_cast<std::uint32_t>(size), false); }
    std::uint32_t signed_of(long long size) {
        return size == 1 ? types_.find("signed char") : types_.integer(static_cast<std::uint32_t>(size), true);
    }

    std::uint32_t record(CXType t) {
        Type shell;
        shell.kind = Kind::record;
        shell.name = unqualified(text_of(clang_getTypeSpelling(t)));
        if (const std::uint32_t known = types_.find(shell.name); known != NO_TYPE) return known;
        const long long size = clang_Type_getSizeOf(t);
        shell.size = size > 0 ? static_cast<std::uint32_t>(size) : 0;
        // Known by name first: a struct may point to its own kind.
        const std::uint32_t id = types_.add(shell);
        std::vector<Field> fields;
        each_child(clang_getTypeDeclaration(t), [&](CXCursor child) {
            if (clang_getCursorKind(child) != CXCursor_FieldDecl) return;
            Field field;
            field.name = text_of(clang_getCursorSpelling(child));
            field.type = type(clang_getCursorType(child));
            const long long bits = clang_Cursor_getOffsetOfField(child);
            field.offset = bits > 0 ? static_cast<std::uint32_t>(bits / 8) : 0;
            fields.push_back(std::move(field));
        });
        types_.edit(id).fields = std::move(fields);
        return id;
    }

    std::uint32_t enumeration(CXType t, long long size) {
        Type type;
        type.kind = Kind::enumeration;
        type.name = unqualified(text_of(clang_getTypeSpelling(t)));
        if (const std::uint32_t known = types_.find(type.name); known != NO_TYPE) return known;
        type.size = size > 0 ? static_cast<std::uint32_t>(size) : 2;
        type.is_signed = true;
        each_child(clang_getTypeDeclaration(t), [&](CXCursor child) {
            if (clang_getCursorKind(child) == CXCursor_EnumConstantDecl)
                type.values.emplace_back(text_of(clang_getCursorSpelling(child)), clang_getEnumConstantDeclValue(child));
        });
        return types_.add(std::move(type));
    }
};

void locals_of(CXCursor body, Reader& reader, std::vector<Declared>& into) {
    each_child(body, [&](CXCursor child) {
        if (clang_getCursorKind(child) == CXCursor_VarDecl)
            into.push_back({text_of(clang_getCursorSpelling(child)), reader.type(clang_getCursorType(child))});
        locals_of(child, reader, into);
    });
}
}  // namespace

std::string read_c_source(const std::string& path, const std::vector<std::string>& include_folders, Types& types,
                          DeclaredFile& into) {
    std::vector<std::string> words = {"-target", "avr", "-funsigned-char", "-nostdinc", "-ffreestanding",
                                      "-std=gnu89", "-Wno-everything", "-D__CC65__=0x0219", "-D__CC65_STD__=2",
                                      "-D__CC65_STD_C89__=0", "-D__CC65_STD_C99__=1", "-D__CC65_STD_CC65__=2",
                                      "-D__fastcall__=", "-D__cdecl__=", "-D__near__=", "-D__far__=",
                                      "-D__FASTCALL__=", "-D__CDECL__=", "-Dfastcall=", "-Dcdecl=",
                                      "-D__AX__=0", "-D__EAX__=0", "-D__A__=0"};
    for (const std::string& folder : include_folders) words.push_back("-I" + folder);
    std::vector<const char*> arguments;
    for (const std::string& word : words) arguments.push_back(word.c_str());
    const std::unique_ptr<void, void (*)(CXIndex)> index(clang_createIndex(0, 0), clang_disposeIndex);
    CXTranslationUnit unit = nullptr;
    const CXErrorCode code =
        clang_parseTranslationUnit2(index.get(), path.c_str(), arguments.data(), static_cast<int>(arguments.size()),
                                    nullptr, 0, CXTranslationUnit_None, &unit);
    if (code != CXError_Success || unit == nullptr) return "libclang could not read it";
    Reader reader(types);
    each_child(clang_getTranslationUnitCursor(unit), [&](CXCursor child) {
        const CXCursorKind kind = clang_getCursorKind(child);
        const std::string name = text_of(clang_getCursorSpelling(child));
        if (kind == CXCursor_TypedefDecl) {
            types.add_typedef(name, reader.type(clang_getTypedefDeclUnderlyingType(child)));
        } else if (kind == CXCursor_StructDecl || kind == CXCursor_UnionDecl || kind == CXCursor_EnumDecl) {
            if (!name.empty()) (void)reader.type(clang_getCursorType(child));
        } else if (kind == CXCursor_VarDecl) {
            // Definitions in the source itself before declarations in headers.
            const bool own = clang_Location_isFromMainFile(clang_getCursorLocation(child)) != 0;
            Declared declared{name, reader.type(clang_getCursorType(child))};
            if (own) into.globals.insert(into.globals.begin(), std::move(declared));
            else into.globals.push_back(std::move(declared));
        } else if (kind == CXCursor_FunctionDecl) {
            DeclaredFunction function;
            function.name = name;
            function.variadic = clang_isFunctionTypeVariadic(clang_getCursorType(child)) != 0;
            const int count = clang_Cursor_getNumArguments(child);
            for (int i = 0; i < count; ++i) {
                const CXCursor parameter = clang_Cursor_getArgument(child, static_cast<unsigned>(i));
                function.parameters.push_back(
                    {text_of(clang_getCursorSpelling(parameter)), reader.type(clang_getCursorType(parameter))});
            }
            if (clang_isCursorDefinition(child) == 0) {
                into.prototypes.push_back(std::move(function));
                return;
            }
            each_child(child, [&](CXCursor part) {
                if (clang_getCursorKind(part) == CXCursor_CompoundStmt) locals_of(part, reader, function.locals);
            });
            into.functions.push_back(std::move(function));
        }
    });
    clang_disposeTranslationUnit(unit);
    return {};
}
#endif

}  // namespace c_view
