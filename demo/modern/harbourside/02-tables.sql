-- Harbourside: tables.

-- @object User Table | Region | 2006-03-14 09:20:11
CREATE TABLE dbo.Region (
    RegionId     tinyint      NOT NULL CONSTRAINT PK_Region PRIMARY KEY,
    Name         nvarchar(40) NOT NULL CONSTRAINT UQ_Region_Name UNIQUE,
    SalesTarget  dbo.Money4   NOT NULL
);

-- @object User Table | Customer | 2006-03-14 09:20:15
CREATE TABLE dbo.Customer (
    CustomerId    int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Customer PRIMARY KEY,
    Code          dbo.CustomerCode   NOT NULL CONSTRAINT UQ_Customer_Code UNIQUE,
    Name          nvarchar(100)      NOT NULL,
    RegionId      tinyint            NOT NULL CONSTRAINT FK_Customer_Region REFERENCES dbo.Region (RegionId),
    Phone         dbo.PhoneNumber,
    Email         dbo.EmailAddress,
    CreditLimit   dbo.Money4         NOT NULL CONSTRAINT DF_Customer_CreditLimit DEFAULT (0),
    IsOnHold      bit                NOT NULL CONSTRAINT DF_Customer_IsOnHold DEFAULT (0),
    CreatedAt     datetime2(0)       NOT NULL CONSTRAINT DF_Customer_CreatedAt DEFAULT (SYSUTCDATETIME())
);

-- @object User Table | CustomerAddress | 2006-03-14 09:20:17
CREATE TABLE dbo.CustomerAddress (
    AddressId    int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_CustomerAddress PRIMARY KEY,
    CustomerId   int           NOT NULL CONSTRAINT FK_CustomerAddress_Customer REFERENCES dbo.Customer (CustomerId),
    Kind         char(1)       NOT NULL CONSTRAINT CK_CustomerAddress_Kind CHECK (Kind IN ('B', 'D')),
    Line1        nvarchar(80)  NOT NULL,
    Line2        nvarchar(80)  NULL,
    Town         nvarchar(60)  NOT NULL,
    Postcode     varchar(10)   NOT NULL,
    Country      char(2)       NOT NULL
);

-- @object User Table | Supplier | 2006-03-14 09:20:21
CREATE TABLE dbo.Supplier (
    SupplierId   int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Supplier PRIMARY KEY,
    Name         nvarchar(100) NOT NULL,
    Country      char(2)       NOT NULL,
    LeadDays     smallint      NOT NULL CONSTRAINT CK_Supplier_LeadDays CHECK (LeadDays BETWEEN 0 AND 180),
    IsPreferred  bit           NOT NULL CONSTRAINT DF_Supplier_IsPreferred DEFAULT (0)
);

-- @object User Table | ProductCategory | 2006-03-14 09:20:24
CREATE TABLE dbo.ProductCategory (
    CategoryId   smallint      NOT NULL CONSTRAINT PK_ProductCategory PRIMARY KEY,
    ParentId     smallint      NULL CONSTRAINT FK_ProductCategory_Parent REFERENCES dbo.ProductCategory (CategoryId),
    Name         nvarchar(60)  NOT NULL
);

-- @object User Table | Product | 2006-03-14 09:20:30
CREATE TABLE dbo.Product (
    ProductId    int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Product PRIMARY KEY,
    Sku          dbo.Sku       NOT NULL CONSTRAINT UQ_Product_Sku UNIQUE,
    Name         nvarchar(120) NOT NULL,
    CategoryId   smallint      NOT NULL CONSTRAINT FK_Product_Category REFERENCES dbo.ProductCategory (CategoryId),
    SupplierId   int           NOT NULL CONSTRAINT FK_Product_Supplier REFERENCES dbo.Supplier (SupplierId),
    ListPrice    dbo.Money4    NOT NULL,
    CostPrice    dbo.Money4    NOT NULL,
    WeightKg     decimal(9, 3) NULL,
    IsDiscontinued bit         NOT NULL CONSTRAINT DF_Product_IsDiscontinued DEFAULT (0),
    CONSTRAINT CK_Product_Margin CHECK (ListPrice >= CostPrice)
);

-- @object User Table | Warehouse | 2006-03-14 09:20:33
CREATE TABLE dbo.Warehouse (
    WarehouseId  tinyint       NOT NULL CONSTRAINT PK_Warehouse PRIMARY KEY,
    Name         nvarchar(60)  NOT NULL,
    Town         nvarchar(60)  NOT NULL
);

-- @object User Table | Stock | 2006-03-14 09:20:36
CREATE TABLE dbo.Stock (
    WarehouseId  tinyint NOT NULL CONSTRAINT FK_Stock_Warehouse REFERENCES dbo.Warehouse (WarehouseId),
    ProductId    int     NOT NULL CONSTRAINT FK_Stock_Product REFERENCES dbo.Product (ProductId),
    OnHand       int     NOT NULL CONSTRAINT DF_Stock_OnHand DEFAULT (0),
    Allocated    int     NOT NULL CONSTRAINT DF_Stock_Allocated DEFAULT (0),
    ReorderLevel int     NOT NULL CONSTRAINT DF_Stock_ReorderLevel DEFAULT (10),
    CONSTRAINT PK_Stock PRIMARY KEY (WarehouseId, ProductId),
    CONSTRAINT CK_Stock_Allocated CHECK (Allocated BETWEEN 0 AND OnHand)
);

-- @object User Table | StockMovement | 2007-02-01 15:31:08
CREATE TABLE dbo.StockMovement (
    MovementId   bigint IDENTITY(1, 1) NOT NULL CONSTRAINT PK_StockMovement PRIMARY KEY,
    WarehouseId  tinyint      NOT NULL,
    ProductId    int          NOT NULL,
    Quantity     int          NOT NULL,
    Reason       varchar(12)  NOT NULL CONSTRAINT CK_StockMovement_Reason
                     CHECK (Reason IN ('RECEIPT', 'PICK', 'RETURN', 'ADJUST', 'TRANSFER')),
    MovedAt      datetime2(0) NOT NULL CONSTRAINT DF_StockMovement_MovedAt DEFAULT (SYSUTCDATETIME()),
    MovedBy      sysname      NOT NULL CONSTRAINT DF_StockMovement_MovedBy DEFAULT (SUSER_SNAME()),
    CONSTRAINT FK_StockMovement_Stock FOREIGN KEY (WarehouseId, ProductId)
        REFERENCES dbo.Stock (WarehouseId, ProductId)
);

-- @object User Table | SalesOrder | 2006-03-14 09:20:40
CREATE TABLE dbo.SalesOrder (
    OrderId      dbo.OrderNumber NOT NULL CONSTRAINT PK_SalesOrder PRIMARY KEY,
    CustomerId   int          NOT NULL CONSTRAINT FK_SalesOrder_Customer REFERENCES dbo.Customer (CustomerId),
    OrderedAt    datetime2(0) NOT NULL,
    RequiredBy   date         NULL,
    Status       varchar(10)  NOT NULL CONSTRAINT DF_SalesOrder_Status DEFAULT ('NEW'),
    WarehouseId  tinyint      NOT NULL CONSTRAINT FK_SalesOrder_Warehouse REFERENCES dbo.Warehouse (WarehouseId),
    CustomerRef  nvarchar(30) NULL,
    Notes        nvarchar(400) NULL
);

-- @object User Table | SalesOrderLine | 2006-03-14 09:20:44
CREATE TABLE dbo.SalesOrderLine (
    OrderId      int            NOT NULL CONSTRAINT FK_SalesOrderLine_Order REFERENCES dbo.SalesOrder (OrderId) ON DELETE CASCADE,
    LineNo       smallint       NOT NULL,
    ProductId    int            NOT NULL CONSTRAINT FK_SalesOrderLine_Product REFERENCES dbo.Product (ProductId),
    Quantity     int            NOT NULL CONSTRAINT CK_SalesOrderLine_Quantity CHECK (Quantity > 0),
    UnitPrice    decimal(19, 4) NOT NULL,
    DiscountPct  decimal(5, 2)  NOT NULL CONSTRAINT DF_SalesOrderLine_DiscountPct DEFAULT (0),
    CONSTRAINT PK_SalesOrderLine PRIMARY KEY (OrderId, LineNo)
);

-- @object User Table | Shipment | 2007-06-11 10:02:19
CREATE TABLE dbo.Shipment (
    ShipmentId   int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Shipment PRIMARY KEY,
    OrderId      int          NOT NULL CONSTRAINT FK_Shipment_Order REFERENCES dbo.SalesOrder (OrderId),
    CarrierCode  varchar(8)   NOT NULL,
    TrackingNo   varchar(40)  NULL,
    ShippedAt    datetime2(0) NULL,
    DeliveredAt  datetime2(0) NULL,
    CONSTRAINT CK_Shipment_Dates CHECK (DeliveredAt IS NULL OR DeliveredAt >= ShippedAt)
);

-- @object User Table | Invoice | 2006-03-14 09:20:49
CREATE TABLE dbo.Invoice (
    InvoiceId    int IDENTITY(100000, 1) NOT NULL CONSTRAINT PK_Invoice PRIMARY KEY,
    OrderId      int          NOT NULL CONSTRAINT FK_Invoice_Order REFERENCES dbo.SalesOrder (OrderId),
    IssuedOn     date         NOT NULL,
    DueOn        date         NOT NULL,
    NetAmount    dbo.Money4   NOT NULL,
    TaxAmount    dbo.Money4   NOT NULL,
    PaidAmount   dbo.Money4   NOT NULL CONSTRAINT DF_Invoice_PaidAmount DEFAULT (0),
    CONSTRAINT CK_Invoice_Due CHECK (DueOn >= IssuedOn)
);

-- @object User Table | Payment | 2006-03-14 09:20:52
CREATE TABLE dbo.Payment (
    PaymentId    int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Payment PRIMARY KEY,
    InvoiceId    int          NOT NULL CONSTRAINT FK_Payment_Invoice REFERENCES dbo.Invoice (InvoiceId),
    ReceivedOn   date         NOT NULL,
    Amount       dbo.Money4   NOT NULL CONSTRAINT CK_Payment_Amount CHECK (Amount <> 0),
    Method       varchar(10)  NOT NULL CONSTRAINT CK_Payment_Method CHECK (Method IN ('CARD', 'BACS', 'CHEQUE', 'CASH')),
    Reference    nvarchar(40) NULL
);

-- @object User Table | PriceList | 2009-09-30 13:17:44
CREATE TABLE dbo.PriceList (
    PriceListId  smallint     NOT NULL CONSTRAINT PK_PriceList PRIMARY KEY,
    Name         nvarchar(40) NOT NULL,
    ValidFrom    date         NOT NULL,
    ValidTo      date         NULL
);

-- @object User Table | PriceListItem | 2009-09-30 13:17:51
CREATE TABLE dbo.PriceListItem (
    PriceListId  smallint       NOT NULL CONSTRAINT FK_PriceListItem_List REFERENCES dbo.PriceList (PriceListId),
    ProductId    int            NOT NULL CONSTRAINT FK_PriceListItem_Product REFERENCES dbo.Product (ProductId),
    Price        decimal(19, 4) NOT NULL,
    CONSTRAINT PK_PriceListItem PRIMARY KEY (PriceListId, ProductId)
);

-- @object User Table | CustomerPriceList | 2009-09-30 13:18:02
CREATE TABLE dbo.CustomerPriceList (
    CustomerId   int      NOT NULL CONSTRAINT FK_CustomerPriceList_Customer REFERENCES dbo.Customer (CustomerId),
    PriceListId  smallint NOT NULL CONSTRAINT FK_CustomerPriceList_List REFERENCES dbo.PriceList (PriceListId),
    CONSTRAINT PK_CustomerPriceList PRIMARY KEY (CustomerId)
);

-- @object User Table | Promotion | 2012-04-17 08:55:36
CREATE TABLE dbo.Promotion (
    PromotionId  int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Promotion PRIMARY KEY,
    Code         varchar(16)   NOT NULL CONSTRAINT UQ_Promotion_Code UNIQUE,
    DiscountPct  decimal(5, 2) NOT NULL CONSTRAINT CK_Promotion_Discount CHECK (DiscountPct BETWEEN 0 AND 50),
    StartsOn     date          NOT NULL,
    EndsOn       date          NOT NULL
);

-- @object User Table | ReturnAuthorisation | 2010-02-08 11:41:27
CREATE TABLE dbo.ReturnAuthorisation (
    RmaId        int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_ReturnAuthorisation PRIMARY KEY,
    OrderId      int           NOT NULL CONSTRAINT FK_Rma_Order REFERENCES dbo.SalesOrder (OrderId),
    LineNo       smallint      NOT NULL,
    Quantity     int           NOT NULL,
    Reason       nvarchar(200) NOT NULL,
    RaisedOn     date          NOT NULL,
    Restock      bit           NOT NULL CONSTRAINT DF_Rma_Restock DEFAULT (1)
);

-- @object User Table | Carrier | 2007-06-11 10:01:55
CREATE TABLE dbo.Carrier (
    CarrierCode  varchar(8)    NOT NULL CONSTRAINT PK_Carrier PRIMARY KEY,
    Name         nvarchar(60)  NOT NULL,
    TrackingUrl  nvarchar(200) NULL
);

-- @object User Table | OrderAudit | 2013-10-02 17:26:40
CREATE TABLE dbo.OrderAudit (
    AuditId      bigint IDENTITY(1, 1) NOT NULL CONSTRAINT PK_OrderAudit PRIMARY KEY,
    OrderId      int          NOT NULL,
    OldStatus    varchar(10)  NULL,
    NewStatus    varchar(10)  NULL,
    ChangedAt    datetime2(3) NOT NULL CONSTRAINT DF_OrderAudit_ChangedAt DEFAULT (SYSUTCDATETIME()),
    ChangedBy    sysname      NOT NULL CONSTRAINT DF_OrderAudit_ChangedBy DEFAULT (ORIGINAL_LOGIN())
);

-- @object User Table | ExchangeRate | 2014-01-20 09:03:12
CREATE TABLE dbo.ExchangeRate (
    Currency     char(3)        NOT NULL,
    RateDate     date           NOT NULL,
    RateToGbp    decimal(18, 8) NOT NULL CONSTRAINT CK_ExchangeRate_Positive CHECK (RateToGbp > 0),
    CONSTRAINT PK_ExchangeRate PRIMARY KEY (Currency, RateDate)
);

-- @object User Table | WebBasket | 2018-06-05 14:22:09
CREATE TABLE dbo.WebBasket (
    BasketId     uniqueidentifier NOT NULL CONSTRAINT PK_WebBasket PRIMARY KEY
                     CONSTRAINT DF_WebBasket_BasketId DEFAULT (NEWSEQUENTIALID()),
    CustomerId   int              NULL CONSTRAINT FK_WebBasket_Customer REFERENCES dbo.Customer (CustomerId),
    Lines        nvarchar(max)    NOT NULL CONSTRAINT CK_WebBasket_Json CHECK (ISJSON(Lines) = 1),
    TouchedAt    datetime2(0)     NOT NULL
);

-- @object User Table | ImportBatch | 2016-03-09 07:48:30
CREATE TABLE dbo.ImportBatch (
    BatchId      int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_ImportBatch PRIMARY KEY,
    FileName     nvarchar(260) NOT NULL,
    StartedAt    datetime2(0)  NOT NULL,
    FinishedAt   datetime2(0)  NULL,
    RowsRead     int           NOT NULL CONSTRAINT DF_ImportBatch_RowsRead DEFAULT (0),
    RowsRejected int           NOT NULL CONSTRAINT DF_ImportBatch_RowsRejected DEFAULT (0)
);
